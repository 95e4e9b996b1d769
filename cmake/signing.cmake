# Who signs the installers, and whose installers the update agent runs. A release build names
# its signing certificate and key, and the pins of the publisher's keys (SHA-256 of each
# SubjectPublicKeyInfo: scripts/publisher-pins --print CERT.pem); more than one pin rolls a
# new key in before the old one is retired. Other builds sign with the test publisher that
# scripts/make-test-publisher makes for the build folder, and pin it.
set(TESSARD_SIGNING_CERTIFICATE "" CACHE FILEPATH "PEM certificate that signs the installer")
set(TESSARD_SIGNING_KEY "" CACHE FILEPATH "PEM private key of that certificate")
set(TESSARD_PUBLISHER_PINS "" CACHE STRING "The pins of the keys whose installers the update agent runs")

set(TESSARD_TEST_PUBLISHER_DIR ${CMAKE_BINARY_DIR}/test-publisher)
if(TESSARD_SIGNING_CERTIFICATE AND TESSARD_SIGNING_KEY)
  if(NOT TESSARD_PUBLISHER_PINS)
    message(FATAL_ERROR "A release build (TESSARD_SIGNING_CERTIFICATE) must name TESSARD_PUBLISHER_PINS: "
                        "the update agent would otherwise run the test publisher's installers")
  endif()
  set(TESSARD_SIGNING_FILES ${TESSARD_SIGNING_CERTIFICATE} ${TESSARD_SIGNING_KEY})
  set(TESSARD_PIN_SOURCES ${TESSARD_PUBLISHER_PINS})
else()
  set(TESSARD_SIGNING_FILES ${TESSARD_TEST_PUBLISHER_DIR}/publisher.pem ${TESSARD_TEST_PUBLISHER_DIR}/publisher.key)
  set(TESSARD_PIN_SOURCES ${TESSARD_TEST_PUBLISHER_DIR}/publisher.pem ${TESSARD_PUBLISHER_PINS})
  add_custom_command(
    OUTPUT ${TESSARD_SIGNING_FILES} ${TESSARD_TEST_PUBLISHER_DIR}/impostor.pem ${TESSARD_TEST_PUBLISHER_DIR}/impostor.key
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-test-publisher ${TESSARD_TEST_PUBLISHER_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make-test-publisher
    COMMENT "Making the test publisher"
    VERBATIM)
endif()
add_custom_target(signing_identity DEPENDS ${TESSARD_SIGNING_FILES})
list(GET TESSARD_SIGNING_FILES 0 TESSARD_SIGNING_CERTIFICATE_FILE)
list(GET TESSARD_SIGNING_FILES 1 TESSARD_SIGNING_KEY_FILE)
