#include "Accessible.h"

#include "ClickableLabel.h"
#include "MessagePanel.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStyle>
#include <QTextDocumentFragment>

namespace {

const char* const ModalProperty = "accessibleModalPanel";
const char* const RowColumnsProperty = "accessibleRowColumns";

QString PlainLabelText(const QLabel* label)
{
    const QString text = label->text();
    if (label->textFormat() == Qt::PlainText) return text;
    if (label->textFormat() == Qt::RichText || Qt::mightBeRichText(text))
        return QTextDocumentFragment::fromHtml(text).toPlainText();
    return text;
}

// A clickable label or frame: a button that a screen reader can press.
class ClickableInterface : public QAccessibleWidget {
public:
    explicit ClickableInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) {
            if (const auto* label = qobject_cast<const QLabel*>(widget())) s = PlainLabelText(label);
            if (s.isEmpty()) s = widget()->toolTip();
        }
        return s;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override
    {
        if (name != pressAction()) {
            QAccessibleWidget::doAction(name);
            return;
        }
        if (!widget()->isEnabled()) return;
        if (auto* label = qobject_cast<ClickableLabel*>(widget()))
            label->click();
        else if (auto* frame = qobject_cast<ClickableFrame*>(widget()))
            frame->click();
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        if (name == pressAction()) return {QStringLiteral("Space"), QStringLiteral("Return")};
        return QAccessibleWidget::keyBindingsForAction(name);
    }
};

// The message panel: an alert named by the message it shows.
class MessagePanelInterface : public QAccessibleWidget {
public:
    explicit MessagePanelInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::AlertMessage) {}

    QString text(QAccessible::Text t) const override
    {
        const auto* panel = static_cast<const MessagePanel*>(widget());
        if (t == QAccessible::Name) return panel->label()->text();
        if (t == QAccessible::Description) return widget()->accessibleName(); // "Message"
        return QAccessibleWidget::text(t);
    }
};

// A screen: a top-level window of the program (Qt takes a plain widget for a filler).
class ScreenInterface : public QAccessibleWidget {
public:
    explicit ScreenInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Window) {}

    QString text(QAccessible::Text t) const override
    {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) s = widget()->windowTitle();
        return s;
    }
};

// A confirmation panel over a screen that holds the keyboard while it is open.
class ModalPanelInterface : public QAccessibleWidget {
public:
    explicit ModalPanelInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::Dialog) {}

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.modal = true;
        return s;
    }
};

// A combo box named by its form (Qt names it by its current text on this
// platform, and the name given in the form never reaches the bus); the current
// text is its value.
class ComboBoxInterface : public QAccessibleWidget {
public:
    explicit ComboBoxInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::ComboBox) {}

    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }

    int childCount() const override { return combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override
    {
        if (index == 0) return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->isEditable()) return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child) return -1;
        if (child->object() == combo()->view()) return 0;
        if (combo()->isEditable() && child->object() == combo()->lineEdit()) return 1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        if (combo()->isEditable() && combo()->lineEdit()->rect().contains(combo()->lineEdit()->mapFromGlobal(QPoint(x, y))))
            return child(1);
        return nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) return combo()->currentText();
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty()) s = combo()->currentText();
        return s;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name != showMenuAction() && name != pressAction()) return;
        if (combo()->view()->isVisible())
            combo()->hidePopup();
        else
            combo()->showPopup();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

class RowsInterface;

// One row of a list read as rows: its cells' texts in order.
class RowInterface : public QAccessibleInterface {
public:
    RowInterface(QAbstractItemView* view, int row) : m_view(view), m_row(row) {}

    bool isValid() const override { return m_view && m_row < RowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override
    {
        QAccessibleInterface* p = parent();
        return p ? p->window() : nullptr;
    }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_view.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid()) return {};
        QStringList cells;
        const int columns = Columns();
        const QAbstractItemModel* model = m_view->model();
        for (int c = 0; c < columns; ++c) {
            const int item = m_row * columns + c;
            if (item >= model->rowCount(m_view->rootIndex())) break;
            cells << model->index(item, 0, m_view->rootIndex()).data(Qt::DisplayRole).toString();
        }
        return cells.join(QStringLiteral(", "));
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        if (!isValid()) return {};
        QRect r;
        const int columns = Columns();
        const QAbstractItemModel* model = m_view->model();
        for (int c = 0; c < columns; ++c) {
            const int item = m_row * columns + c;
            if (item >= model->rowCount(m_view->rootIndex())) break;
            r |= m_view->visualRect(model->index(item, 0, m_view->rootIndex()));
        }
        r = r.intersected(m_view->viewport()->rect());
        return r.isEmpty() ? QRect() : QRect(m_view->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid() || rect().isEmpty()) s.invisible = true;
        s.readOnly = true;
        return s;
    }

    int Columns() const { return std::max(1, m_view->property(RowColumnsProperty).toInt()); }
    int RowCount() const
    {
        const int items = m_view->model() ? m_view->model()->rowCount(m_view->rootIndex()) : 0;
        return (items + Columns() - 1) / Columns();
    }

private:
    QPointer<QAbstractItemView> m_view;
    int m_row;
};

// A list whose items are the cells of rows (name, amount, date): read as its
// rows, not as one item per cell.
class RowsInterface : public QAccessibleWidget {
public:
    explicit RowsInterface(QWidget* w) : QAccessibleWidget(w, QAccessible::List) {}
    ~RowsInterface() override
    {
        for (QAccessible::Id id : std::as_const(m_rows)) QAccessible::deleteAccessibleInterface(id);
    }

    QAbstractItemView* view() const { return static_cast<QAbstractItemView*>(widget()); }
    int childCount() const override { return RowInterface(view(), 0).RowCount(); }
    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount()) return nullptr;
        auto it = m_rows.constFind(index);
        if (it != m_rows.cend()) return QAccessible::accessibleInterface(*it);
        auto* row = new RowInterface(view(), index);
        m_rows.insert(index, QAccessible::registerAccessibleInterface(row));
        return row;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child) return -1;
        const QAccessible::Id id = QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child));
        for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
            if (it.value() == id) return it.key();
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        if (!index.isValid()) return nullptr;
        return child(index.row() / std::max(1, view()->property(RowColumnsProperty).toInt()));
    }

private:
    mutable QHash<int, QAccessible::Id> m_rows;
};

// Objects reach this by every class of their hierarchy, also the web engine's
// own, which are built without RTTI: only an object named by one of the
// classes below is touched, and the vptr check of the undefined-behaviour
// sanitizer, which cannot read such objects, is left out here.
#if defined(__clang__) || defined(__GNUC__)
#define AMBERVALE_NO_VPTR_CHECK __attribute__((no_sanitize("vptr")))
#else
#define AMBERVALE_NO_VPTR_CHECK
#endif

AMBERVALE_NO_VPTR_CHECK QAccessibleInterface* Factory(const QString& className, QObject* object)
{
    enum class Kind { Modal, Clickable, Message, Screen, Combo, Rows };
    Kind kind;
    if (className == QLatin1String("QFrame")) kind = Kind::Modal;
    else if (className == QLatin1String("ClickableLabel") || className == QLatin1String("ClickableFrame"))
        kind = Kind::Clickable;
    else if (className == QLatin1String("MessagePanel")) kind = Kind::Message;
    else if (className == QLatin1String("Screen")) kind = Kind::Screen;
    else if (className == QLatin1String("QComboBox")) kind = Kind::Combo;
    else if (className == QLatin1String("QListWidget")) kind = Kind::Rows;
    else return nullptr;
    if (!object || !object->isWidgetType()) return nullptr;
    auto* w = static_cast<QWidget*>(object);
    switch (kind) {
    case Kind::Modal: return w->property(ModalProperty).toBool() ? new ModalPanelInterface(w) : nullptr;
    case Kind::Clickable: return new ClickableInterface(w);
    case Kind::Message: return new MessagePanelInterface(w);
    case Kind::Screen: return w->isWindow() ? new ScreenInterface(w) : nullptr;
    case Kind::Combo: return new ComboBoxInterface(w);
    case Kind::Rows: return w->property(RowColumnsProperty).toInt() > 1 ? new RowsInterface(w) : nullptr;
    }
    return nullptr;
}

QAccessible::UpdateHandler g_previousHandler = nullptr;

// Passes an event on to whoever would have had it.
void Forward(QAccessibleEvent* event)
{
    void (*self)(QAccessibleEvent*) = QAccessible::installUpdateHandler(g_previousHandler);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(self);
}

QString Masked(const QLineEdit* edit, const QString& text)
{
    const QChar mask(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit));
    return QString(text.size(), mask);
}

// Every event on its way to the bus passes here.
AMBERVALE_NO_VPTR_CHECK void Filter(QAccessibleEvent* event)
{
    QObject* object = event->object();
    const QAccessible::Event type = event->type();
    const bool textChange =
        type == QAccessible::TextInserted || type == QAccessible::TextRemoved || type == QAccessible::TextUpdated;
    auto* edit = textChange ? qobject_cast<QLineEdit*>(object) : nullptr;
    if (edit && edit->echoMode() != QLineEdit::Normal) {
        // Qt sends a password field's real characters with each change: a
        // hidden field sends nothing, a shown one as many marks as characters.
        if (!edit->isVisible()) return;
        if (type == QAccessible::TextInserted) {
            auto* e = static_cast<QAccessibleTextInsertEvent*>(event);
            QAccessibleTextInsertEvent masked(object, e->changePosition(), Masked(edit, e->textInserted()));
            Forward(&masked);
        } else if (type == QAccessible::TextRemoved) {
            auto* e = static_cast<QAccessibleTextRemoveEvent*>(event);
            QAccessibleTextRemoveEvent masked(object, e->changePosition(), Masked(edit, e->textRemoved()));
            Forward(&masked);
        } else {
            auto* e = static_cast<QAccessibleTextUpdateEvent*>(event);
            QAccessibleTextUpdateEvent masked(object, e->changePosition(), Masked(edit, e->textRemoved()),
                                              Masked(edit, e->textInserted()));
            Forward(&masked);
        }
        return;
    }
    if ((type == QAccessible::ObjectShow || type == QAccessible::Alert) && qobject_cast<MessagePanel*>(object)) {
        // The bus forwards no alert event: a screen reader announces an alert
        // that becomes showing. The panel's own show is left out, so that one
        // message is announced once, also when it replaces another.
        if (type == QAccessible::ObjectShow) return;
        if (type == QAccessible::Alert) {
            QAccessibleEvent shown(object, QAccessible::ObjectShow);
            Forward(&shown);
            return;
        }
    }
    Forward(event);
}

} // namespace

namespace accessible {

void Install()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(Factory);
    g_previousHandler = QAccessible::installUpdateHandler(Filter);
}

void MarkModalPanel(QWidget* panel)
{
    if (!panel || panel->property(ModalProperty).toBool()) return;
    panel->setProperty(ModalProperty, true);
    // An interface made before the mark would keep the old role.
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(panel);
    if (iface && iface->role() != QAccessible::Dialog)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

void ReadAsRows(QWidget* list, int columns)
{
    if (!list) return;
    list->setProperty(RowColumnsProperty, columns);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(list);
    if (iface && !dynamic_cast<RowsInterface*>(iface)) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

} // namespace accessible
