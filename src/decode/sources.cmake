target_sources(vantrel_core PRIVATE
  src/decode/template_buffers.cpp
  src/decode/text_block_stub.cpp)
