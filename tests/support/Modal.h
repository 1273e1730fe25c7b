#pragma once

#include <QWidget>
#include <functional>
#include <memory>

namespace vellumo::test {

// Waits (on a timer, inside the modal loop about to start) for the next modal
// widget to appear and hands it to `act`, which closes it; what `act` leaves
// shown is closed after it. `act` only collects values: checks belong after
// the loop, since a failed one returns from `act` alone. Returns a flag that
// tells afterwards whether `act` ran; it waits for as long as the flag is kept,
// however late the widget comes, and no longer.
[[nodiscard]] std::shared_ptr<bool> whenModal(std::function<void(QWidget *)> act);

// Fails the current test, naming them, if top-level windows are still shown:
// for cleanup(), once the test's own windows are gone, so that a dialog left
// open by one test cannot answer for the next.
void verifyNoWindowLeft();

// Presses a key on the widget that has the focus inside `window`.
void pressKey(QWidget *window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// A control as the user meets it: its name, the caption of a button, frame or label in quotes,
// and a mark if it is hidden, disabled or has a font of its own, which none has.
QString asSeen(const QWidget *control);

} // namespace vellumo::test
