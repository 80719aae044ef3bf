target_sources(vantrel_core PRIVATE
  src/decode/template_buffers.cpp
  src/decode/name_tables.cpp
  src/decode/parameters.cpp
  src/decode/text_block.cpp)
