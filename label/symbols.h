#pragma once

#include <string>
#include <vector>

#include "vendor/result.h"

// A barcode as Zint encodes it: its modules, dark or light, row by row, with
// no quiet zone; a linear barcode is one row, drawn as tall as wanted.
struct Modules {
  int columns = 0;
  int rows = 0;
  std::vector<bool> dark;  // rows * columns

  bool Dark(int column, int row) const { return dark[static_cast<std::size_t>(row * columns + column)]; }
};

Result<Modules> Code128(const std::string& data);
Result<Modules> DataMatrix(const std::string& data);
