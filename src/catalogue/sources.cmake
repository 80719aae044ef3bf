target_sources(vantrel_core PRIVATE
  src/catalogue/template_snapshot.cpp
  src/catalogue/ioctl_code.cpp)
