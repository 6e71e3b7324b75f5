#include "app/option_bindings.h"

#include <QCheckBox>
#include <QLineEdit>

#include "app/qt_convert.h"
#include "app/widgets.h"

namespace fraglane::app {

namespace {

int ValueOf(const SpinEdit* c) {
    return c->value();
}
bool ValueOf(const QCheckBox* c) {
    return c->isChecked();
}
int ValueOf(const RadioGroup* c) {
    return c->itemIndex();
}
std::string ValueOf(const QLineEdit* c) {
    return ToStd(c->text());
}

void ShowValue(SpinEdit* c, int v) {
    c->setValue(v);
}
void ShowValue(QCheckBox* c, bool v) {
    c->setChecked(v);
}
void ShowValue(RadioGroup* c, int v) {
    c->setItemIndex(v);
}
void ShowValue(QLineEdit* c, const std::string& v) {
    c->setText(ToQt(v));
}

void Connect(SpinEdit* c, QObject* context, const std::function<void()>& handler) {
    QObject::connect(c, &SpinEdit::changed, context, handler);
}
void Connect(QCheckBox* c, QObject* context, const std::function<void()>& handler) {
    QObject::connect(c, &QCheckBox::toggled, context, handler);
}
void Connect(RadioGroup* c, QObject* context, const std::function<void()>& handler) {
    QObject::connect(c, &RadioGroup::changed, context, handler);
}
void Connect(QLineEdit* c, QObject* context, const std::function<void()>& handler) {
    QObject::connect(c, &QLineEdit::textChanged, context, handler);
}

}  // namespace

void Gather(const OptionBinding& binding, launch::LaunchOptions& options) {
    std::visit([&](const auto& b) { options.*b.field = ValueOf(b.control); }, binding);
}

void Show(const OptionBinding& binding, const launch::LaunchOptions& options) {
    std::visit([&](const auto& b) { ShowValue(b.control, options.*b.field); }, binding);
}

void OnChange(const OptionBinding& binding, QObject* context,
              const std::function<void()>& handler) {
    std::visit([&](const auto& b) { Connect(b.control, context, handler); }, binding);
}

QObject* ControlOf(const OptionBinding& binding) {
    return std::visit([](const auto& b) -> QObject* { return b.control; }, binding);
}

}  // namespace fraglane::app
