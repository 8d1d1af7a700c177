#include "label/symbols.h"

#include <memory>
#include <zint.h>

#include "label/values.h"

namespace {

struct SymbolDeleter {
  void operator()(zint_symbol* symbol) const { ZBarcode_Delete(symbol); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDeleter>;

// Encodes data, then reads the modules back from a bitmap of one pixel per
// module (scale 0.5), without text, border or whitespace: Zint's raster is
// its public account of which module is dark.
Result<Modules> Encoded(int symbology, const std::string& data) {
  const Symbol symbol(ZBarcode_Create());
  if (!symbol) return SystemFailure(L"out of memory");
  symbol->symbology = symbology;
  symbol->show_hrt = 0;
  symbol->scale = 0.5f;
  symbol->input_mode = DATA_MODE;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  if (ZBarcode_Encode(symbol.get(), bytes, static_cast<int>(data.size())) >= ZINT_ERROR ||
      ZBarcode_Buffer(symbol.get(), 0) >= ZINT_ERROR)
    return Refusal(L"the barcode cannot be made: " + Words(symbol->errtxt));
  Modules modules;
  modules.columns = symbol->width;
  modules.rows = symbology == BARCODE_DATAMATRIX ? symbol->rows : 1;
  const int pixelWidth = symbol->bitmap_width, pixelHeight = symbol->bitmap_height;
  for (int row = 0; row < modules.rows; ++row) {
    const int y = (2 * row + 1) * pixelHeight / (2 * modules.rows);
    for (int column = 0; column < modules.columns; ++column) {
      const int x = (2 * column + 1) * pixelWidth / (2 * modules.columns);
      const unsigned char red = symbol->bitmap[3 * (static_cast<std::size_t>(y) * pixelWidth + x)];
      modules.dark.push_back(red < 128);
    }
  }
  return modules;
}

}  // namespace

Result<Modules> Code128(const std::string& data) { return Encoded(BARCODE_CODE128, data); }
Result<Modules> DataMatrix(const std::string& data) { return Encoded(BARCODE_DATAMATRIX, data); }
