# cmake -P: writes OUTPUT in sha256sum's format for the files in FILES.
set(lines "")
foreach(file IN LISTS FILES)
  file(SHA256 ${file} hash)
  get_filename_component(name ${file} NAME)
  string(APPEND lines "${hash}  ${name}\n")
endforeach()
file(WRITE ${OUTPUT} "${lines}")
