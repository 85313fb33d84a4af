# Picks how the programs are linked: the fastest way this machine can do, chosen once at
# configure time. Loading libstdc++ dynamically costs a run more instructions than all its own
# work, so the order is: a static position-independent binary (-static-pie); else libstdc++ and
# libgcc linked in with glibc dynamic (distributions that ship no static glibc); else plain
# dynamic. ID3SNIFF_STATIC=OFF, and the sanitizer and fuzzer builds, link dynamically.
# Sets ID3SNIFF_LINK to static-pie, static-libstdc++ or dynamic, and ID3SNIFF_LINK_OPTIONS.
include(CheckCXXSourceCompiles)

set(id3sniff_link_probe [[
#include <cstdio>
#include <string>
int main(int argc, char**) { std::string s(static_cast<std::size_t>(argc), 'x'); std::puts(s.c_str()); }
]])

# Sets result to TRUE when the probe links with the given options.
function(id3sniff_check_link result flags)
  set(CMAKE_REQUIRED_FLAGS "-fPIE")
  set(CMAKE_REQUIRED_LINK_OPTIONS ${flags})
  set(CMAKE_REQUIRED_QUIET ON)
  check_cxx_source_compiles("${id3sniff_link_probe}" ${result})
  set(${result} ${${result}} PARENT_SCOPE)
endfunction()

if(NOT ID3SNIFF_STATIC OR ID3SNIFF_SANITIZE OR ID3SNIFF_TSAN OR ID3SNIFF_FUZZ)
  set(ID3SNIFF_LINK dynamic)
  set(ID3SNIFF_LINK_OPTIONS "")
else()
  id3sniff_check_link(ID3SNIFF_CAN_LINK_STATIC_PIE "-static-pie")
  if(ID3SNIFF_CAN_LINK_STATIC_PIE)
    set(ID3SNIFF_LINK static-pie)
    set(ID3SNIFF_LINK_OPTIONS -static-pie)
  else()
    id3sniff_check_link(ID3SNIFF_CAN_LINK_STATIC_LIBSTDCXX "-static-libstdc++;-static-libgcc")
    if(ID3SNIFF_CAN_LINK_STATIC_LIBSTDCXX)
      set(ID3SNIFF_LINK static-libstdc++)
      set(ID3SNIFF_LINK_OPTIONS -static-libstdc++ -static-libgcc)
    else()
      set(ID3SNIFF_LINK dynamic)
      set(ID3SNIFF_LINK_OPTIONS "")
    endif()
  endif()
endif()
set(ID3SNIFF_LINK ${ID3SNIFF_LINK} CACHE INTERNAL "How the programs are linked")
message(STATUS "id3sniff: programs linked ${ID3SNIFF_LINK}")

# A static-pie program needs all its code position-independent. The flag is given here, not
# through POSITION_INDEPENDENT_CODE, because CMake then adds -pie or -no-pie to the link of an
# executable, and either undoes -static-pie.
if(ID3SNIFF_LINK STREQUAL "static-pie")
  target_compile_options(id3sniff_options INTERFACE -fPIE)
endif()

# Links a program as chosen.
function(id3sniff_link_program target)
  target_link_options(${target} PRIVATE ${ID3SNIFF_LINK_OPTIONS})
endfunction()
