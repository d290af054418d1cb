# A finding must fail the test that caused it: with recovery UBSan only prints and the
# test passes, so nothing recovers.
if(VELTRO_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(VELTRO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VELTRO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VELTRO_SANITIZE must be empty, 'address' or 'thread'")
endif()
