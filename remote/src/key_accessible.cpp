#include "key_accessible.h"

#include "clickable.h"

#include <QAccessibleWidget>

namespace vantrel {
namespace {

class KeyAccessible final : public QAccessibleWidget {
public:
    explicit KeyAccessible(Clickable* key) : QAccessibleWidget(key, QAccessible::Button) {
        addControllingSignal(QStringLiteral("Click()"));
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction() && widget()->isEnabled()) static_cast<Clickable*>(widget())->press();
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        return action == pressAction() ? QStringList{QStringLiteral("Space")} : QStringList();
    }
};

QAccessibleInterface* keysOnly(const QString&, QObject* object) {
    auto* key = qobject_cast<Clickable*>(object);
    return key && key->isKey() ? new KeyAccessible(key) : nullptr;
}

}  // namespace

void installAccessibility() { QAccessible::installFactory(keysOnly); }

}  // namespace vantrel
