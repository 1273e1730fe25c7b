#pragma once

#include <QString>
#include <vector>

class QWidget;

namespace vellumo {

class FormBuilder;

// A caption as a screen reader should say it: the access-key marks gone
// ("&&" stands for a real '&') and no blanks at the ends.
QString spokenCaption(const QString &caption);

// What a screen reader says of a control whose caption says too little.
// A null name keeps the name the caption gave; a null description sets none.
struct AccessibleText {
    const char *control;
    const char *name;
    const char *description;
};
void describeControls(const FormBuilder &form, const std::vector<AccessibleText> &texts);

// A horizontal rule: a separator, which needs no name.
void markAsRule(QWidget *line);
// A label that acts on a click, such as a web address: a link, whose press
// action is a click on it.
void markAsLink(QWidget *label);
// Scroll areas keep bars a screen reader can meet even while they are hidden:
// each one under `window` that has no name yet is named for its direction.
void nameScrollBars(QWidget *window);

} // namespace vellumo
