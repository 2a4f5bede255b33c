#pragma once

#include <QIcon>

// The pictures of the data base tree, drawn on a 16 x 16 grid.
namespace treeicons {

// A data base: a cylinder.
[[nodiscard]] QIcon dataBase();
// A device: a chip with pins.
[[nodiscard]] QIcon device();
// The default device, which receives identifiers added without a choice:
// the chip with an arrow going in.
[[nodiscard]] QIcon defaultDevice();
// A swatch of an identifier colour (0x00BBGGRR).
[[nodiscard]] QIcon swatch(quint32 colour);

} // namespace treeicons
