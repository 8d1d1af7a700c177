#pragma once

#include <string>
#include <string_view>

#include "label/values.h"
#include "vendor/result.h"

// An SVG template filled in. Placeholders in text and in attribute values
// get their values as XML text (markup.h); those in comments, CDATA and
// <style> or <script> are left as they are. The element with
// id="mac-barcode", id="sn-barcode" or id="datamatrix" (a <rect x= y=
// width= height=>, typically) is replaced by that barcode: a group of
// rectangles, whole modules of at least 2 printer dots at dpi, centred in
// the box with their quiet zones (10 modules on each side of a Code 128, 1
// around the Data Matrix); a box that cannot hold it so is refused, never
// squeezed. A box is measured in dots from the root's width and height,
// which must then be in mm, cm, in, pt or pc, and its viewBox; its element
// and the groups around it may be moved (translate), not scaled or turned.
// Every other byte is the template's, unchanged.
Result<std::string> FilledSvg(std::string_view svg, const LabelTexts& texts, int dpi);
