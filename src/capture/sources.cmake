target_sources(vantrel_core PRIVATE
  src/capture/irp_record.cpp
  src/capture/record_list.cpp
  src/capture/driver_device.cpp
  src/capture/driver_link.cpp)
