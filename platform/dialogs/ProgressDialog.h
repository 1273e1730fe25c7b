#pragma once

#include "platform/Progress.h"

namespace vellumo {

// Qt's progress dialog, window-modal over the owner, with the label and Cancel.
class DialogProgressService final : public ProgressService {
public:
    std::unique_ptr<Progress> start(QWidget *owner, const QString &label) override;
};

} // namespace vellumo
