target_sources(vantrel_core PRIVATE
  src/capture/irp_record.cpp
  src/capture/record_list.cpp
  src/capture/driver_device.cpp
  src/capture/driver_link.cpp
  src/capture/test_file.cpp
  src/capture/log_file.cpp
  src/capture/capture_ring.cpp
  src/capture/drain.cpp
  src/capture/delayed_call.cpp
  src/capture/capture_pipeline.cpp
  src/capture/filter_control.cpp)
