# Debian's per-module OpenCV packages ship no OpenCVConfig.cmake, so the modules
# Kelvora uses are found by hand when the package config is absent. The programs
# take three; the tests also read movies back through the video module, which the
# programs leave out (with the hundred libraries it loads at every start).
set(_kelvora_cv_modules core imgproc imgcodecs videoio)

find_package(OpenCV QUIET COMPONENTS ${_kelvora_cv_modules})
add_library(kelvora_opencv INTERFACE)
add_library(kelvora_opencv_videoio INTERFACE)

if(OpenCV_FOUND)
  target_include_directories(kelvora_opencv SYSTEM INTERFACE ${OpenCV_INCLUDE_DIRS})
  foreach(m IN LISTS _kelvora_cv_modules)
    set(_kelvora_cv_${m} opencv_${m})
  endforeach()
else()
  find_path(KELVORA_OPENCV_INCLUDE opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
  target_include_directories(kelvora_opencv SYSTEM INTERFACE ${KELVORA_OPENCV_INCLUDE})
  foreach(m IN LISTS _kelvora_cv_modules)
    find_library(KELVORA_OPENCV_${m} opencv_${m} REQUIRED)
    set(_kelvora_cv_${m} ${KELVORA_OPENCV_${m}})
  endforeach()
endif()
target_link_libraries(kelvora_opencv INTERFACE
  ${_kelvora_cv_core} ${_kelvora_cv_imgproc} ${_kelvora_cv_imgcodecs})
target_link_libraries(kelvora_opencv_videoio INTERFACE kelvora_opencv ${_kelvora_cv_videoio})
