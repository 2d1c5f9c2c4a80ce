// The browser build carries the sound library inside the program: its seven functions
// are registered with the page's library table under "ezds.dll", by the decorated names
// the game asks GetProcAddress for, before anything runs.
#include "ezds/ezds.h"
#include "platform/drivers/web/web_library.h"

namespace {

template <typename Function>
FARPROC Proc(Function *function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

const BuiltInExport soundExports[] = {
    {"?DSinit@@YAHPAUHWND__@@@Z", Proc(DSinit)},   {"?DSend@@YAXXZ", Proc(DSend)},
    {"?DSload@@YAHPADD@Z", Proc(DSload)},          {"?DSloadL@@YAHPAD@Z", Proc(DSloadL)},
    {"?DSplay@@YAXDD@Z", Proc(DSplay)},            {"?DSloopOPE@@YAXDD@Z", Proc(DSloopOPE)},
    {"?DSver@@YAPADXZ", Proc(DSver)},
};

[[maybe_unused]] const bool soundRegistered =
    RegisterBuiltInLibrary("ezds.dll", soundExports, sizeof soundExports / sizeof soundExports[0]);

}  // namespace
