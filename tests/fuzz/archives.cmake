# Fuzz targets for pack directories, compressed buffers and text-database files.
# Seed inputs: tests/fuzz/archive_seeds/<pack|inflate|textdatabase>, e.g.
#   ./fuzz_pack corpus tests/fuzz/archive_seeds/pack
set(archive_fuzz_libs winfile textdatabase)
foreach(lib ${archive_fuzz_libs})
  # Coverage feedback from the code under test, not only from the harness.
  target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
endforeach()

function(archive_fuzz_target name)
  add_executable(${name} ${name}.cpp)
  target_link_libraries(${name} PRIVATE ${ARGN})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()

archive_fuzz_target(fuzz_pack winfile)
archive_fuzz_target(fuzz_inflate winfile)
archive_fuzz_target(fuzz_textdatabase textdatabase)
