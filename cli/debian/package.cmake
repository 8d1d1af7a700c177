# The Debian package of quorvix-cli: its control fields, as CPack's DEB
# generator takes them; what goes into it is in cli/CMakeLists.txt.
set(CPACK_DEBIAN_PACKAGE_NAME quorvix-cli)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Quorvix developers <quorvix@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, libcups2")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "read and write the MAC and serial number of device vendor files\n"
    "quorvix-cli shows, checks and rewrites the MAC address and serial number\n"
    "stored in a device's vendor data file (vendor.bin, 65,536 bytes), with the\n"
    "check values the devices expect, changing no other byte of the file.\n"
    ".\n"
    "For production lines, assign hands each unit the next MAC and serial number\n"
    "from a ledger, an SQLite file or a database on a PostgreSQL server (through\n"
    "ODBC: odbc-postgresql), so that no value is ever used twice. Labels of a\n"
    "unit's MAC and serial number are written as PNG, SVG or ZPL, or printed\n"
    "through CUPS (libcups2) or straight to a network label printer.")
