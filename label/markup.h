#pragma once

#include <string>

// Text as XML and HTML take it between tags and in quoted attributes: &, <,
// >, " and ' written as references, so that no text from a file or a ledger
// is ever read as markup.
std::string MarkupText(const std::string& text);
