#pragma once

// The one place the version is written; the resources take it from here.
#define QUORVIX_VERSION_MAJOR 3
#define QUORVIX_VERSION_MINOR 0
#define QUORVIX_VERSION_TEXT "3.0.0.0"
