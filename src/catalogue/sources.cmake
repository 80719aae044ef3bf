target_sources(vantrel_core PRIVATE
  src/catalogue/template_snapshot.cpp
  src/catalogue/ioctl_code.cpp
  src/catalogue/recordset.cpp
  src/catalogue/catalogue.cpp
  src/catalogue/ioctl_selector.cpp)

# The catalogue schema and sample data go into core as text, so that a new
# catalogue can be created anywhere.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/resources/catalogue_schema.sql VANTREL_SCHEMA_SQL)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/resources/sample_catalogue.sql VANTREL_SAMPLE_SQL)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/resources/catalogue_schema.sql
  ${CMAKE_CURRENT_SOURCE_DIR}/resources/sample_catalogue.sql)
configure_file(src/catalogue/catalogue_sql.cpp.in
  ${CMAKE_CURRENT_BINARY_DIR}/generated/catalogue_sql.cpp @ONLY)
target_sources(vantrel_core PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated/catalogue_sql.cpp)
