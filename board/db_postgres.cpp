// The board's database in PostgreSQL, through libpq: values go as parameters in binary
// (64-bit integers, UTF-8 text, raw bytes) and rows come back in binary, so a recording
// is never escaped or unescaped on the way.
#include <libpq-fe.h>

#include <climits>
#include <cstring>

#include "board/db_internal.h"

namespace board_db {
namespace {

// PostgreSQL's numbers of the types the board reads and writes.
constexpr Oid BoolType = 16, ByteaType = 17, Int8Type = 20, Int2Type = 21, Int4Type = 23, TextType = 25,
              VarcharType = 1043, VoidType = 2278;

// The first line of a libpq message, without its trailing spaces.
std::string OneLine(const char *message) {
  std::string line = message ? message : "";
  line = line.substr(0, line.find('\n'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line.empty() ? "no reason given" : line;
}

int64_t BigEndian(const char *bytes, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  // Sign-extended from its width.
  const int unused = 64 - 8 * size;
  return unused > 0 ? static_cast<int64_t>(value << unused) >> unused : static_cast<int64_t>(value);
}

void Quiet(void *, const char *) {}

class PostgresConnection : public Connection {
 public:
  explicit PostgresConnection(PGconn *conn) : conn_(conn) {}
  ~PostgresConnection() override { PQfinish(conn_); }
  PostgresConnection(const PostgresConnection &) = delete;
  PostgresConnection &operator=(const PostgresConnection &) = delete;

  bool Exec(const char *sql, std::string &error) override {
    PGresult *result = PQexec(conn_, sql);
    const bool ok = Succeeded(result, error);
    PQclear(result);
    return ok;
  }

  bool Query(const char *sql, const std::vector<Value> &values, std::vector<Row> &rows,
             std::string &error) override {
    rows.clear();
    const size_t count = values.size();
    std::vector<Oid> types(count);
    std::vector<const char *> data(count);
    std::vector<int> lengths(count), formats(count, 1);
    std::vector<std::string> numbers(count);
    for (size_t i = 0; i < count; ++i) {
      const Value &value = values[i];
      switch (value.kind) {
        case Value::Null:
          types[i] = TextType;
          data[i] = nullptr;
          break;
        case Value::Int: {
          types[i] = Int8Type;
          std::string &bytes = numbers[i];
          for (int shift = 56; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>(static_cast<uint64_t>(value.number) >> shift));
          data[i] = bytes.data();
          lengths[i] = 8;
          break;
        }
        case Value::Text:
        case Value::Blob:
          if (value.bytes.size() > static_cast<size_t>(INT_MAX)) {
            error = "a value too long to send";
            failure_ = Failure::Statement;
            return false;
          }
          types[i] = value.kind == Value::Text ? TextType : ByteaType;
          data[i] = value.bytes.data();
          lengths[i] = static_cast<int>(value.bytes.size());
          break;
      }
    }
    PGresult *result = PQexecParams(conn_, sql, static_cast<int>(count), types.data(), data.data(), lengths.data(),
                                    formats.data(), 1);
    bool ok = Succeeded(result, error);
    if (ok) ok = ReadRows(result, rows, error);
    PQclear(result);
    return ok;
  }

  bool Begin(std::string &error) override { return Exec("BEGIN", error); }
  bool Lock(int64_t key, std::string &error) override {
    std::vector<Row> rows;
    return Query("SELECT pg_advisory_xact_lock($1)", {Value::Of(key)}, rows, error);
  }
  bool Commit(std::string &error) override {
    committing_ = true;
    const bool ok = Exec("COMMIT", error);
    committing_ = false;
    return ok;
  }
  void Rollback() override {
    if (PQstatus(conn_) != CONNECTION_OK) return;
    const PGTransactionStatusType status = PQtransactionStatus(conn_);
    if (status == PQTRANS_IDLE || status == PQTRANS_UNKNOWN) return;
    PQclear(PQexec(conn_, "ROLLBACK"));
  }
  bool Retry(int attempt) override {
    switch (failure_) {
      case Failure::Broken:
        // The server closed it (restarted, or ended it): made again once.
        if (attempt > 0) return false;
        PQreset(conn_);
        return PQstatus(conn_) == CONNECTION_OK;
      case Failure::Conflict:
        return attempt < 5;
      default:
        return false;
    }
  }
  bool Healthy() override { return PQstatus(conn_) == CONNECTION_OK; }

 private:
  // What the last failure was, for Retry.
  enum class Failure { None, Statement, Conflict, Broken, BrokenCommitting };

  bool Succeeded(PGresult *result, std::string &error) {
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
      failure_ = Failure::None;
      return true;
    }
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    error = primary ? OneLine(primary) : OneLine(PQerrorMessage(conn_));
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    if (PQstatus(conn_) != CONNECTION_OK) {
      failure_ = committing_ ? Failure::BrokenCommitting : Failure::Broken;
      if (committing_) error = "the connection was lost while committing (kept or not, it cannot be told): " + error;
    } else if (state && (std::strcmp(state, "40001") == 0 || std::strcmp(state, "40P01") == 0)) {
      failure_ = Failure::Conflict;  // a serialization failure or a deadlock: tried again
    } else {
      failure_ = Failure::Statement;
    }
    return false;
  }

  bool ReadRows(PGresult *result, std::vector<Row> &rows, std::string &error) {
    const int count = PQntuples(result), columns = PQnfields(result);
    rows.resize(static_cast<size_t>(count));
    for (int r = 0; r < count; ++r) {
      Row &row = rows[r];
      row.resize(static_cast<size_t>(columns));
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(result, r, c)) continue;
        const char *bytes = PQgetvalue(result, r, c);
        const int size = PQgetlength(result, r, c);
        Value &value = row[c];
        switch (PQftype(result, c)) {
          case BoolType:
          case Int2Type:
          case Int4Type:
          case Int8Type:
            if (size < 1 || size > 8) {
              error = "a number of " + std::to_string(size) + " bytes from the database";
              failure_ = Failure::Statement;
              return false;
            }
            value = Value::Of(BigEndian(bytes, size));
            break;
          case TextType:
          case VarcharType:
            value.kind = Value::Text;
            value.bytes.assign(bytes, static_cast<size_t>(size));
            break;
          case ByteaType:
            value.kind = Value::Blob;
            value.bytes.assign(bytes, static_cast<size_t>(size));
            break;
          case VoidType:
            break;
          default:
            error = "a value of type " + std::to_string(PQftype(result, c)) + " the board does not read";
            failure_ = Failure::Statement;
            return false;
        }
      }
    }
    return true;
  }

  PGconn *conn_;
  Failure failure_ = Failure::None;
  bool committing_ = false;
};

}  // namespace

std::unique_ptr<Connection> OpenPostgres(const std::string &uri, std::string &error) {
  // The URI may set its own timeout; the board always talks UTF-8 (and says so again
  // whenever the connection is made anew).
  const char *const keywords[] = {"connect_timeout", "dbname", "client_encoding", nullptr};
  const char *const values[] = {"10", uri.c_str(), "UTF8", nullptr};
  PGconn *conn = PQconnectdbParams(keywords, values, 1);
  if (!conn) {
    error = "cannot connect to PostgreSQL: out of memory";
    return nullptr;
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    error = "cannot connect to PostgreSQL: " + OneLine(PQerrorMessage(conn));
    PQfinish(conn);
    return nullptr;
  }
  // The server's notices (a table that already exists, ...) are not the board's to print.
  PQsetNoticeProcessor(conn, Quiet, nullptr);
  return std::make_unique<PostgresConnection>(conn);
}

}  // namespace board_db
