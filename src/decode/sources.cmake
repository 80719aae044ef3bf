target_sources(vantrel_core PRIVATE
  src/decode/template_buffers.cpp)
