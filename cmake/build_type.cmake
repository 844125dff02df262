# The build type CI, which `CI=true make test` builds from scratch on a small machine. Its
# flags were chosen by measuring CPU seconds of the whole build and of the whole test run
# side by side on two cores (the numbers are in the Makefile): no optimisation and no debug
# information cost least in all. The 32-bit project uses the same.
include_guard(GLOBAL)
set(KV_CI_FLAGS "-O0" CACHE STRING "Compiler flags of the build type CI")
set(CMAKE_C_FLAGS_CI "${KV_CI_FLAGS}" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_CI "${KV_CI_FLAGS}" CACHE STRING "" FORCE)
