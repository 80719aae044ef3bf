# The kernel source: one BPF object compiled from BPF C against the build
# machine's kernel types (vmlinux.h from its BTF), stripped of debug lines
# and turned into a libbpf skeleton header. Where the machine lacks the
# kernel's BTF or one of the tools, the source is left out and the programs
# say so when asked for it.

set(VANTREL_KERNEL_BTF "/sys/kernel/btf/vmlinux" CACHE FILEPATH "Kernel BTF the BPF programs are built against")
find_program(VANTREL_BPF_CLANG NAMES clang clang-14)
find_program(VANTREL_LLVM_STRIP NAMES llvm-strip llvm-strip-14)
find_program(VANTREL_BPFTOOL NAMES bpftool PATHS /usr/sbin /sbin)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(VANTREL_LIBBPF QUIET IMPORTED_TARGET libbpf>=1.0)
endif()

set(_missing "")
if(NOT EXISTS ${VANTREL_KERNEL_BTF})
  list(APPEND _missing "kernel BTF (${VANTREL_KERNEL_BTF})")
endif()
foreach(_tool VANTREL_BPF_CLANG VANTREL_LLVM_STRIP VANTREL_BPFTOOL)
  if(NOT ${_tool})
    list(APPEND _missing ${_tool})
  endif()
endforeach()
if(NOT VANTREL_LIBBPF_FOUND)
  list(APPEND _missing "libbpf (libbpf-dev)")
endif()

if(_missing)
  string(JOIN ", " _missing_text ${_missing})
  message(STATUS "Kernel source left out: this build machine has no ${_missing_text}")
  set(VANTREL_KERNEL_SOURCE OFF)
  set(VANTREL_KERNEL_MISSING "${_missing_text}")
  return()
endif()

set(VANTREL_KERNEL_SOURCE ON)
set(_src ${PROJECT_SOURCE_DIR}/src/kernel)
set(_out ${CMAKE_BINARY_DIR}/generated/kernel)
file(MAKE_DIRECTORY ${_out})
add_custom_command(OUTPUT ${_out}/vmlinux.h
  COMMAND ${VANTREL_BPFTOOL} btf dump file ${VANTREL_KERNEL_BTF} format c > ${_out}/vmlinux.h
  COMMENT "Kernel types from the build machine's BTF" VERBATIM)
add_custom_command(OUTPUT ${_out}/kernel_programs.bpf.o
  COMMAND ${VANTREL_BPF_CLANG} -target bpf -O2 -g -D__TARGET_ARCH_x86 -I${_out} -I${_src}
          -c ${_src}/kernel_programs.bpf.c -o ${_out}/kernel_programs.bpf.o
  COMMAND ${VANTREL_LLVM_STRIP} -g ${_out}/kernel_programs.bpf.o
  DEPENDS ${_src}/kernel_programs.bpf.c ${_src}/kernel_event.h ${_out}/vmlinux.h
  COMMENT "BPF object of the kernel source" VERBATIM)
add_custom_command(OUTPUT ${_out}/kernel_programs.skel.h
  COMMAND ${VANTREL_BPFTOOL} gen skeleton ${_out}/kernel_programs.bpf.o name vantrel_kernel
          > ${_out}/kernel_programs.skel.h
  DEPENDS ${_out}/kernel_programs.bpf.o
  COMMENT "libbpf skeleton of the kernel source" VERBATIM)
add_custom_target(vantrel_kernel_programs DEPENDS ${_out}/kernel_programs.skel.h)
