#pragma once

class QWidget;

namespace platform {

// Shows the window and returns once it has been hidden or destroyed (or, for
// a dialog, finished). Unlike
// Qt's application modality this leaves the member's browser windows usable
// while the caller waits, as another program's windows would be.
void showAndWait(QWidget* window);

} // namespace platform
