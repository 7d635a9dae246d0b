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

inline constexpr QSize kWatermarkSize{500, 314};
// The watermark column beside the welcome and completion texts. QWizard
// keeps a page at least as tall as its watermark, so the column stays short
// enough for the window to fit 400 logical pixels (800 at a scale of 2).
inline constexpr QSize kWatermarkColumn{164, 300};

inline constexpr QSize kLogoSize{64, 48};

// The small sheet at the header's right end.
QPixmap LogoArt(QSize size = kLogoSize);

// The watermark: a green column with a text file turning into a sheet,
// fading to white at its foot so that a taller page continues it. The design
// scales with `size`; the wizard paints it at kWatermarkColumn.
QPixmap WatermarkArt(QSize size = kWatermarkSize);

// The application icon: a sheet grid on a green tile, in several sizes.
QIcon ApplicationIcon();

}  // namespace wizard
