# Source lists of the tool, shared by the host build and the UEFI build.
# Every .cpp directly in a layer's folder belongs to that layer; host-only
# and UEFI-only code lives in platform/host and platform/uefi.
get_filename_component(VEXA_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
file(GLOB VEXA_TEXT_SOURCES CONFIGURE_DEPENDS ${VEXA_ROOT}/platform/*.cpp)
file(GLOB VEXA_I2C_SOURCES CONFIGURE_DEPENDS ${VEXA_ROOT}/i2c/*.cpp)
file(GLOB VEXA_PD_SOURCES CONFIGURE_DEPENDS ${VEXA_ROOT}/pd/*.cpp)
file(GLOB VEXA_APP_SOURCES CONFIGURE_DEPENDS ${VEXA_ROOT}/app/*.cpp)
set(VEXA_TOOL_SOURCES ${VEXA_TEXT_SOURCES} ${VEXA_I2C_SOURCES} ${VEXA_PD_SOURCES} ${VEXA_APP_SOURCES})
# The I2C layer of the Linux build (vexa-linux) in place of the DesignWare
# one: the kernel's driver through /dev/i2c-N, and the controller record
# both layers fill.
file(GLOB VEXA_I2C_LINUX_SOURCES CONFIGURE_DEPENDS ${VEXA_ROOT}/i2c/linux/*.cpp)
list(APPEND VEXA_I2C_LINUX_SOURCES ${VEXA_ROOT}/i2c/i2c_host.cpp)
