target_sources(vantrel_core PRIVATE
  src/analysis/axis_defaults.cpp)
