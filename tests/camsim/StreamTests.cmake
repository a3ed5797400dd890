# Tests of the simulator's video streams and of the MPEG-4 sequence header
# those streams must decode with.
darvik_add_test(camsim_stream_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/StreamTestSupport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SequenceHeaderTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/JpegStreamTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MpegStreamTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StreamFaultTest.cpp
  LIBS darvik_camsim_streams libjpeg-turbo::turbojpeg PkgConfig::AVCODEC)
