# Debian's hardening flags, as Debian builds its own packages: dpkg-buildflags with every
# hardening feature (position-independent executables, -fstack-protector-strong,
# -D_FORTIFY_SOURCE=2, -Wl,-z,relro -Wl,-z,now). The package build switches it on; the build
# type's own flags follow Debian's and win where they differ (-O3 over -O2 in Release).
option(ENCRT_HARDENING "Build with Debian's hardening flags (dpkg-buildflags, hardening=+all)" OFF)
if(NOT ENCRT_HARDENING)
    return()
endif()
if(ENCRT_SANITIZE)
    message(FATAL_ERROR "ENCRT_HARDENING and ENCRT_SANITIZE exclude each other")
endif()
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
    message(FATAL_ERROR "ENCRT_HARDENING needs dpkg-buildflags (package dpkg-dev)")
endif()
set(hardening_flags "")
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${DPKG_BUILDFLAGS} --get ${kind}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    set(hardening_${kind} "${value}")
endforeach()
# Two features that newer dpkg releases add to hardening=+all and hardening-check looks for:
# stack clash protection, and control-flow protection where the processor has it (an executable
# carries the latter only once the C library's start files do: not yet on Debian 12).
include(CheckCXXCompilerFlag)
foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "ENCRT_HAS${flag}" supported)
    check_cxx_compiler_flag(${flag} ${supported})
    if(${supported})
        string(APPEND hardening_CXXFLAGS " ${flag}")
    endif()
endforeach()
# Level 3 checks also the buffers whose size is known only at run time (a std::string's), which
# is most of a C++ program's: level 2 leaves nearly every call unchecked. glibc 2.34 and GCC 12
# have it; newer dpkg releases use it too.
string(REPLACE "-D_FORTIFY_SOURCE=2" "-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3" hardening_CPPFLAGS "${hardening_CPPFLAGS}")
# CMake knows no preprocessor flags of their own: they go with the compiler's, as debhelper does.
string(APPEND CMAKE_CXX_FLAGS " ${hardening_CPPFLAGS} ${hardening_CXXFLAGS}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${hardening_LDFLAGS}")
string(APPEND CMAKE_SHARED_LINKER_FLAGS " ${hardening_LDFLAGS}")
message(STATUS "Hardening: ${hardening_CPPFLAGS} ${hardening_CXXFLAGS} ${hardening_LDFLAGS}")
