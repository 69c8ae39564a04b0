# Debian's per-module OpenCV packages ship no CMake or pkg-config files (those come
# with the umbrella package, which pulls in far more), so find the modules we use by hand.
find_path(OpenCVParts_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4)
set(_parts core imgproc imgcodecs dnn video)
set(_missing)
foreach(part IN LISTS _parts)
    find_library(OpenCVParts_${part}_LIBRARY opencv_${part})
    if(NOT OpenCVParts_${part}_LIBRARY)
        list(APPEND _missing ${part})
    endif()
endforeach()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(OpenCVParts
    REQUIRED_VARS OpenCVParts_INCLUDE_DIR OpenCVParts_core_LIBRARY OpenCVParts_imgproc_LIBRARY
                  OpenCVParts_imgcodecs_LIBRARY OpenCVParts_dnn_LIBRARY
                  OpenCVParts_video_LIBRARY)

if(OpenCVParts_FOUND)
    foreach(part IN LISTS _parts)
        if(NOT TARGET OpenCV::${part})
            add_library(OpenCV::${part} UNKNOWN IMPORTED)
            set_target_properties(OpenCV::${part} PROPERTIES
                IMPORTED_LOCATION ${OpenCVParts_${part}_LIBRARY}
                INTERFACE_INCLUDE_DIRECTORIES ${OpenCVParts_INCLUDE_DIR})
        endif()
    endforeach()
endif()
