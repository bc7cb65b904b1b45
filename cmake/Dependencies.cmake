# Every dependency comes from Debian's packages (see scripts/setup.sh).
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Network Gui Widgets)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
# ICU transliterates names in other scripts to ASCII file names on the share.
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-i18n icu-uc)
pkg_check_modules(TAGLIB REQUIRED IMPORTED_TARGET taglib)
pkg_check_modules(AVAHI REQUIRED IMPORTED_TARGET avahi-client)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
# The share password in the desktop's Secret Service.
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)
find_package(Threads REQUIRED)
if(ORVANA_TESTS OR ORVANA_FUZZ)
  find_package(GTest REQUIRED)
endif()
if(ORVANA_BENCHMARKS AND NOT ORVANA_FUZZ)
  find_package(benchmark REQUIRED)
endif()
