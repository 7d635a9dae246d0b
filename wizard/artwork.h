// SPDX-License-Identifier: MIT
// The wizard's pictures, painted in code so that no image files need to be
// shipped or kept in step: the header band of the inner pages, the
// watermark of the first and last page, and the application icon.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace wizard {

inline constexpr QSize kHeaderSize{500, 60};
inline constexpr QSize kWatermarkSize{500, 314};
// The watermark column beside the welcome and completion texts, as tall as
// the page area of the smallest frame.
inline constexpr QSize kWatermarkColumn{164, 413};

inline constexpr QSize kLogoSize{64, 48};

// The header band behind the inner pages' title and subtitle: pale green
// fading to `background`, the colour of the header beyond the band, so a
// header wider than the band shows no seam.
QPixmap HeaderArt(const QColor& background, QSize size = kHeaderSize);

// The small sheet at the header's right end.
QPixmap LogoArt(QSize size = kLogoSize);

// The watermark: a green column with a text file turning into a sheet,
// fading to white at its foot so that a taller page continues it. The design
// scales with `size`; the wizard paints it at kWatermarkColumn.
QPixmap WatermarkArt(QSize size = kWatermarkSize);

// The application icon: a sheet grid on a green tile, in several sizes.
QIcon ApplicationIcon();

}  // namespace wizard
