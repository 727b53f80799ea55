# Fails when PROGRAM is larger than MAX_KIB kibibytes.
file(SIZE "${PROGRAM}" bytes)
math(EXPR kib "(${bytes} + 1023) / 1024")
if(kib GREATER MAX_KIB)
  message(FATAL_ERROR "${PROGRAM} is ${kib} KiB, over its ${MAX_KIB} KiB")
endif()
message(STATUS "${PROGRAM}: ${kib} KiB of ${MAX_KIB}")
