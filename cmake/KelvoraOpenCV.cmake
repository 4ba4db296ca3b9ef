# Debian's per-module OpenCV packages ship no OpenCVConfig.cmake, so the four
# modules Kelvora uses are found by hand when the package config is absent.
set(_kelvora_cv_modules core imgproc imgcodecs videoio)

find_package(OpenCV QUIET COMPONENTS ${_kelvora_cv_modules})
add_library(kelvora_opencv INTERFACE)

if(OpenCV_FOUND)
  target_include_directories(kelvora_opencv SYSTEM INTERFACE ${OpenCV_INCLUDE_DIRS})
  foreach(m IN LISTS _kelvora_cv_modules)
    target_link_libraries(kelvora_opencv INTERFACE opencv_${m})
  endforeach()
else()
  find_path(KELVORA_OPENCV_INCLUDE opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
  target_include_directories(kelvora_opencv SYSTEM INTERFACE ${KELVORA_OPENCV_INCLUDE})
  foreach(m IN LISTS _kelvora_cv_modules)
    find_library(KELVORA_OPENCV_${m} opencv_${m} REQUIRED)
    target_link_libraries(kelvora_opencv INTERFACE ${KELVORA_OPENCV_${m}})
  endforeach()
endif()
