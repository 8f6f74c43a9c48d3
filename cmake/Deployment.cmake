# Deployment values. Never hard-code hosts or keys in source: production builds
# pass them with -D or through a deployment file (LUMIRA_DEPLOYMENT_FILE, a CMake
# script setting the same variables). The defaults point at the local development
# service so that a fresh checkout runs without internet.
set(LUMIRA_DEPLOYMENT_FILE "" CACHE FILEPATH "CMake script with deployment values")
if(LUMIRA_DEPLOYMENT_FILE)
  include(${LUMIRA_DEPLOYMENT_FILE})
endif()

set(LUMIRA_DEV_PORT 18080 CACHE STRING "Port of the local development service")
set(_dev "127.0.0.1:${LUMIRA_DEV_PORT}")

set(LUMIRA_ORG_DOMAIN "lumira.local" CACHE STRING "Organisation domain")
set(LUMIRA_MAIN_URL "http://${_dev}/qt1" CACHE STRING "Lesson page address")
set(LUMIRA_TEST_MAIN_URL "http://${_dev}/whiteboard-qt2/" CACHE STRING "Test lesson page address")
# Scheme and host only, no port: the CDN modes replace the lesson page's scheme
# and host (letters, digits, dots) and keep the rest, port included.
set(LUMIRA_CDN_URL "http://127.0.0.1" CACHE STRING "CDN address, scheme and host (no port)")
if(LUMIRA_CDN_URL STREQUAL "http://${_dev}")
  # Older build trees cached the development value with the port.
  set(LUMIRA_CDN_URL "http://127.0.0.1" CACHE STRING "CDN address, scheme and host (no port)" FORCE)
endif()
# The production API is HTTPS; the development service answers it on its TLS port.
set(LUMIRA_DEV_TLS_PORT 18443 CACHE STRING "HTTPS port of the local development service")
set(LUMIRA_API_HOST "127.0.0.1:${LUMIRA_DEV_TLS_PORT}" CACHE STRING "Production API host[:port]")
set(LUMIRA_API_ALT_HOST "localhost:${LUMIRA_DEV_TLS_PORT}" CACHE STRING "Alternative production API host[:port]")
set(LUMIRA_API_TEST_HOST "${_dev}" CACHE STRING "Test API host[:port]")
# Certificates of the API are always checked against the system's roots. The
# development service's certificate, made at build time, is one more root for
# the development deployment; production sets LUMIRA_EXTRA_CA_FILE to "".
# LUMIRA_TLS_RELAXED ON turns every certificate check off (logged at start):
# only for talking to a server whose certificate cannot be fixed.
# Set only when no deployment file chose them (a cache entry made on the first
# configure would otherwise hide the file's plain variable).
set(LUMIRA_DEV_CERT_FILE "${CMAKE_BINARY_DIR}/tools/devservice/dev-cert.pem")
if(NOT DEFINED LUMIRA_EXTRA_CA_FILE)
  set(LUMIRA_EXTRA_CA_FILE "${LUMIRA_DEV_CERT_FILE}" CACHE STRING "PEM roots trusted beside the system's; empty: none")
endif()
if(NOT DEFINED LUMIRA_TLS_RELAXED)
  set(LUMIRA_TLS_RELAXED OFF CACHE BOOL "Turn off certificate checks of the service API (logged)")
endif()
if(LUMIRA_TLS_RELAXED)
  set(LUMIRA_TLS_RELAXED_CXX true)
else()
  set(LUMIRA_TLS_RELAXED_CXX false)
endif()
set(LUMIRA_DOWNLOAD_PAGE "http://${_dev}/download" CACHE STRING "Download page opened when the installer cannot start")
set(LUMIRA_FAQ_URL "http://${_dev}/faq/" CACHE STRING "Help page of the service, opened from the help menu")

# Object storage: the bucket's regional and acceleration endpoints (plain
# HTTP), the key pair (16 and 30 letters and digits), and the service's form
# upload host. The development service runs a store on its own port.
set(LUMIRA_DEV_OSS_PORT 18081 CACHE STRING "Port of the development object store")
set(LUMIRA_OSS_ENDPOINT "http://127.0.0.1:${LUMIRA_DEV_OSS_PORT}" CACHE STRING "Object store regional endpoint")
set(LUMIRA_OSS_ACCEL_ENDPOINT "http://localhost:${LUMIRA_DEV_OSS_PORT}" CACHE STRING "Object store acceleration endpoint")
set(LUMIRA_OSS_KEY_ID "LumiraDevKeyId01" CACHE STRING "Object store access key id")
set(LUMIRA_OSS_KEY_SECRET "LumiraDevKeySecret000000000000" CACHE STRING "Object store access key secret")
set(LUMIRA_UPLOAD_URL "http://${_dev}" CACHE STRING "Service host of the form upload, scheme and host")

# Network test and network time. The development deployment keeps every
# target on loopback: the service's ping, a fixed gateway and DNS server of
# 127.0.0.1, and the development service's SNTP port. A production file sets
# LUMIRA_NET_GATEWAY and LUMIRA_NET_DNS to "" (the system's own gateway and
# DNS servers), a public host for tracert and its NTP server with port 123.
set(LUMIRA_PING_URL "http://${_dev}/ping" CACHE STRING "Service ping address of the network test")
set(LUMIRA_NET_GATEWAY "127.0.0.1" CACHE STRING "Gateway the network test pings; empty: the system's")
set(LUMIRA_NET_DNS "127.0.0.1" CACHE STRING "DNS servers the network test pings, comma-separated; empty: the system's")
set(LUMIRA_TRACERT_HOST "127.0.0.1" CACHE STRING "Host whose first hop names the gateway (Windows)")
set(LUMIRA_DEV_SNTP_PORT 18123 CACHE STRING "UDP port of the development service's SNTP responder")
set(LUMIRA_NTP_HOST "127.0.0.1" CACHE STRING "NTP server of the network time")
set(LUMIRA_NTP_PORT ${LUMIRA_DEV_SNTP_PORT} CACHE STRING "NTP port of the network time")

# Update: the package host whose URL prefix names the object of an offered
# package in the bucket "lumira-files" (the development service mirrors that
# bucket under /packages/), and the Ed25519 public key an installer package
# must be signed with: 64 hex digits, the raw key, e.g.
#   openssl pkey -in key.pem -pubout -outform DER | tail -c 32 | xxd -p -c 64
# The signature is stored beside the package as "<object>.sig", 64 raw bytes:
#   openssl pkeyutl -sign -inkey key.pem -rawin -in pkg.deb -out pkg.deb.sig
# Empty: packages are opened without a check. The development deployment
# makes a key pair of its own in the build tree; its service signs with it.
set(LUMIRA_UPDATE_PACKAGE_HOST "http://${_dev}/packages/" CACHE STRING "URL prefix of installer packages")
set(LUMIRA_DEV_UPDATE_KEY "${CMAKE_BINARY_DIR}/tools/devservice/dev-update-key.pem")
if(NOT DEFINED LUMIRA_UPDATE_PUBLIC_KEY)
  if(NOT EXISTS ${LUMIRA_DEV_UPDATE_KEY})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tools/devservice)
    execute_process(COMMAND openssl genpkey -algorithm ed25519 -out ${LUMIRA_DEV_UPDATE_KEY}
      RESULT_VARIABLE _key_rc ERROR_QUIET)
  endif()
  execute_process(COMMAND openssl pkey -in ${LUMIRA_DEV_UPDATE_KEY} -pubout -outform DER
    -out ${CMAKE_BINARY_DIR}/tools/devservice/dev-update-key.pub.der RESULT_VARIABLE _key_rc ERROR_QUIET)
  file(READ ${CMAKE_BINARY_DIR}/tools/devservice/dev-update-key.pub.der _der HEX)
  string(LENGTH "${_der}" _der_len)
  if(NOT _key_rc EQUAL 0 OR _der_len LESS 64)
    message(FATAL_ERROR "cannot make the development update key with openssl")
  endif()
  math(EXPR _raw_at "${_der_len} - 64")
  string(SUBSTRING "${_der}" ${_raw_at} 64 LUMIRA_UPDATE_PUBLIC_KEY)
endif()
# Development builds let LUMIRA_DEV_UPDATE_API point the update check at a
# development service on other ports; a production deployment sets this OFF.
option(LUMIRA_DEV_ENV_OVERRIDES "Honour LUMIRA_DEV_* service addresses from the environment (development builds)" ON)
if(LUMIRA_DEV_ENV_OVERRIDES)
  set(LUMIRA_DEV_ENV_OVERRIDES_CXX true)
else()
  set(LUMIRA_DEV_ENV_OVERRIDES_CXX false)
endif()

# Agora: app id (32 hex digits) and the built-in test room used by test().
set(LUMIRA_AGORA_APP_ID "0000000000000000000000000000dev0" CACHE STRING "Agora app id")
set(LUMIRA_AGORA_TEST_UID "10000001" CACHE STRING "Agora test uid")
set(LUMIRA_AGORA_TEST_TOKEN "00000000000000000000000000000000000000000000000000dev" CACHE STRING "Agora test token")
set(LUMIRA_AGORA_TEST_ROOM "10001" CACHE STRING "Agora test room")

# TRTC: the service's application id, a number of ten digits (it must fit the
# SDK's 32-bit field).
set(LUMIRA_TRTC_APP_ID "1000000001" CACHE STRING "TRTC application id")
if(NOT LUMIRA_TRTC_APP_ID MATCHES "^[1-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]$"
   OR LUMIRA_TRTC_APP_ID GREATER 4294967295)
  message(FATAL_ERROR "LUMIRA_TRTC_APP_ID must be a number of ten digits up to 4294967295")
endif()

# Zego: app id (a 10-digit number) and app sign (64 hex digits). The
# development values are made up; the stand-in SDK accepts any well-formed pair.
set(LUMIRA_ZEGO_APP_ID "1000000001" CACHE STRING "Zego app id")
set(LUMIRA_ZEGO_APP_SIGN "00000000000000000000000000000000000000000000000000000000000de0de" CACHE STRING "Zego app sign")
string(LENGTH "${LUMIRA_ZEGO_APP_ID}" _zego_id_length)
if(NOT LUMIRA_ZEGO_APP_ID MATCHES "^[1-9][0-9]*$" OR NOT _zego_id_length EQUAL 10
   OR LUMIRA_ZEGO_APP_ID GREATER 4294967295)
  message(FATAL_ERROR "LUMIRA_ZEGO_APP_ID must be a 10-digit number below 2^32")
endif()
string(LENGTH "${LUMIRA_ZEGO_APP_SIGN}" _zego_sign_length)
if(NOT LUMIRA_ZEGO_APP_SIGN MATCHES "^[0-9a-fA-F]+$" OR NOT _zego_sign_length EQUAL 64)
  message(FATAL_ERROR "LUMIRA_ZEGO_APP_SIGN must be 64 hexadecimal digits")
endif()

# iLive: the service's application id and account type, both positive numbers
# below 2^31. The development values are made up; the stand-in takes any.
set(LUMIRA_ILIVE_APP_ID "1400000001" CACHE STRING "iLive application id")
set(LUMIRA_ILIVE_ACCOUNT_TYPE "10001" CACHE STRING "iLive account type")
foreach(_ilive_value LUMIRA_ILIVE_APP_ID LUMIRA_ILIVE_ACCOUNT_TYPE)
  if(NOT ${_ilive_value} MATCHES "^[1-9][0-9]*$" OR ${_ilive_value} GREATER 2147483647)
    message(FATAL_ERROR "${_ilive_value} must be a positive number below 2^31")
  endif()
endforeach()

# The simulated class room behind the SDK stand-ins is driven from the page
# ("cppSimRoom", request simroom://config), failure injection included. Only
# development builds publish it: a production deployment file sets this OFF.
option(LUMIRA_DEV_SIMROOM "Publish the simulated room's control to the page (development builds)" ON)

# Build identity: 40 lowercase hex digits, the commit being built when known.
execute_process(COMMAND git rev-parse HEAD
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  OUTPUT_VARIABLE LUMIRA_BUILD_ID OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET RESULT_VARIABLE _git_rc)
if(NOT _git_rc EQUAL 0 OR NOT LUMIRA_BUILD_ID MATCHES "^[0-9a-f]+$")
  set(LUMIRA_BUILD_ID "0000000000000000000000000000000000000000")
endif()
set(LUMIRA_VERSION_TEXT "5.0.6")

configure_file(${CMAKE_SOURCE_DIR}/app/BuildConfig.h.in
               ${CMAKE_BINARY_DIR}/generated/BuildConfig.h @ONLY)
