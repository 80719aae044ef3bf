target_sources(vantrel_core PRIVATE
  src/shell/string_table.cpp
  src/shell/settings.cpp
  src/shell/device_list.cpp
  src/shell/document.cpp)
