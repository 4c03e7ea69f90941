// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// What assistive tools (screen readers, AT-SPI clients) see of the program's buttons. A speed
// button is a push button named by its hint, or by its caption when it has none; the latched
// transport buttons are push buttons that show their down state as checked. Pressing a speed
// button and toggling a check box are each a left click on the control, so the program's own
// mouse handlers (the crop check of "Limiter au Cadre", the press of "Sél.") run as for the mouse.

namespace accessibility {

// Installs these interfaces; call it once the application exists, before any window is shown.
void Install();

}  // namespace accessibility
