# Writes the page's worker (sw.js) with the build's version in its cache name: a hash
# of every file the worker keeps, so any change to the page makes a new cache.
#   cmake -DSOURCE=<web folder> -DBUILD=<build folder> -DDATA_DIR=<data folder> -P page_version.cmake
set(hashes "")
foreach(file ${SOURCE}/index.html ${SOURCE}/manifest.webmanifest ${SOURCE}/sw.js
        ${BUILD}/quillrun.js ${BUILD}/quillrun.wasm ${BUILD}/quillrun.data
        ${DATA_DIR}/../icons/quillrun-48.png ${DATA_DIR}/../icons/quillrun-128.png
        ${DATA_DIR}/../icons/quillrun-256.png)
  if(EXISTS ${file})
    file(SHA256 ${file} hash)
  else()
    set(hash missing)
  endif()
  string(APPEND hashes "${hash}\n")
endforeach()
string(SHA256 version "${hashes}")
string(SUBSTRING ${version} 0 16 QR_PAGE_VERSION)
configure_file(${SOURCE}/sw.js ${BUILD}/sw.js @ONLY)
