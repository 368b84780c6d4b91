#include "ui/view_editable_time.h"

#include "ui/time_entry_value.h"
#include "ui/view_label.h"
#include "ui/view_text_entry.h"

#include <QDebug>
#include <QMenu>
#include <QMouseEvent>

#include <cmath>

namespace {

const char* const kModeTexts[] = {"HH:MM:SS:FF", "Timecode", "HH:MM:SS.Mill", "Frames"};

}  // namespace

ViewEditableTimeSpendTotal::ViewEditableTimeSpendTotal(QWidget* parent, const QRect& geometry) : QWidget(parent) {
    setGeometry(geometry);
    m_currentLabel = new ViewLabel(this, QRect(0, 0, 85, 20), QString(), 3);
    m_currentLabel->alignRight();
    m_currentLabel->tag = 1;
    m_currentLabel->setToolTip(QStringLiteral("Time elapsed"));
    m_totalLabel = new ViewLabel(this, QRect(0, 0, 95, 20), QString(), 3);
    m_totalLabel->tag = 2;
    m_totalLabel->setToolTip(QStringLiteral("Total time"));
    m_entry = new ViewTextEntry(this, QRect(0, 0, 85, 20));
    m_entry->tag = 0;
    m_entry->hide();
    execMenu = [](QMenu& menu, const QPoint& pos) { return menu.exec(pos); };

    for (ViewLabel* label : {m_currentLabel, m_totalLabel}) {
        connect(label, &ViewLabel::ViewLabel_Clic, this, &ViewEditableTimeSpendTotal::ViewLabel_Clic);
        connect(label, &ViewLabel::ViewLabel_RightClic, this, &ViewEditableTimeSpendTotal::ViewLabel_RightClic);
    }
    connect(m_entry, &ViewTextEntry::ViewTextEntry_Clic, this, &ViewEditableTimeSpendTotal::ViewTextEntry_Clic);
    connect(m_entry, &ViewTextEntry::ViewTextEntry_EndEdit, this,
            &ViewEditableTimeSpendTotal::ViewTextEntry_EndEdit);
    updateLayout();
}

void ViewEditableTimeSpendTotal::updateLayout() {
    const int half = width() / 2;
    const int h = height();
    m_currentLabel->setGeometry(0, 0, half - 5, h);
    m_entry->setGeometry(0, 0, half - 5, h);
    m_totalLabel->setGeometry(half - 5, 0, half + 5, h);
}

void ViewEditableTimeSpendTotal::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateLayout();
}

void ViewEditableTimeSpendTotal::setRate(uint32_t numerator, uint32_t denominator) {
    m_numerator = numerator;
    m_denominator = denominator;
    m_rate = denominator != 0 ? float(double(numerator) / double(denominator)) : 0.0f;
}

void ViewEditableTimeSpendTotal::setTimecodeStart(uint32_t startFrame, uint8_t dropFrame) {
    m_timecodeStart = startFrame;
    m_dropFrame = dropFrame;
}

void ViewEditableTimeSpendTotal::setCurrent(uint32_t frame) {
    m_current = frame;
    m_shown = true;
    QString text;
    switch (m_mode) {
    case UiTimemode_Frames:
        text = QString::number(frame);
        break;
    case UiTimemode_HoursMinutesSecondsMillis:
        text = time_format_ms(frame, m_rate);
        break;
    case UiTimemode_Timecode:
        text = timecode_from_frame_count(m_timecodeStart + frame, m_numerator, m_denominator, m_dropFrame != 0);
        break;
    default:
        text = timecode_format_frames(frame, m_rate);
        break;
    }
    m_currentLabel->setText(text);
}

void ViewEditableTimeSpendTotal::setTotal(uint32_t frameCount) {
    m_total = frameCount;
    m_shown = true;
    QString text;
    if (m_mode == UiTimemode_Frames)
        text = QString::number(frameCount);
    else if (m_mode == UiTimemode_HoursMinutesSecondsMillis)
        text = time_format_ms(frameCount, m_rate);
    else
        text = timecode_format_frames(frameCount, m_rate);
    m_totalLabel->setText(QStringLiteral("/ %1").arg(text));
}

void ViewEditableTimeSpendTotal::setModeRefresh(uint32_t mode) {
    m_mode = mode;
    refresh();
}

void ViewEditableTimeSpendTotal::refresh() {
    if (!m_shown) return;
    setTotal(m_total);
    setCurrent(m_current);
}

void ViewEditableTimeSpendTotal::userSetMode(uint32_t mode) {
    m_mode = mode <= UiTimemode_Frames ? mode : UiTimemode_HoursMinutesSecondsFrames;
    refresh();
    emit ViewEditableTimeSpendTotal_ChangeTimeMode(UiTimemode(m_mode));
}

void ViewEditableTimeSpendTotal::ViewLabel_Clic(uint32_t senderTag, Qt::KeyboardModifiers flags) {
    if (senderTag != 1 && senderTag != 2) return;
    if (flags & Qt::ControlModifier) {
        userSetMode(m_mode < UiTimemode_Frames ? m_mode + 1 : UiTimemode_HoursMinutesSecondsFrames);
        return;
    }
    if (senderTag != 1 || !m_shown) return;
    m_editing = true;
    m_currentLabel->hide();
    m_entry->setText(m_currentLabel->text());
    m_entry->show();
    m_entry->focusEntry();
    m_entry->selectAll();
}

void ViewEditableTimeSpendTotal::ViewLabel_RightClic(uint32_t, const QMouseEvent* event) {
    QMenu menu(QStringLiteral("Context menu Time"), this);
    QList<QAction*> actions;
    for (uint32_t i = 0; i < 4; ++i) {
        QAction* action = menu.addAction(QString::fromLatin1(kModeTexts[i]));
        if (i == m_mode) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        actions.append(action);
    }
    const QPointF global = event != nullptr ? event->globalPosition() : QPointF(mapToGlobal(QPoint(0, 0)));
    const QPoint at(int(std::round(global.x())), int(std::round(global.y())));
    QAction* chosen = execMenu ? execMenu(menu, at) : nullptr;
    const int index = actions.indexOf(chosen);
    if (index >= 0) act_context_menu_time_mode(uint32_t(index));
}

void ViewEditableTimeSpendTotal::act_context_menu_time_mode(uint32_t mode) {
    userSetMode(mode);
}

void ViewEditableTimeSpendTotal::ViewTextEntry_Clic(uint32_t, Qt::KeyboardModifiers) {}

void ViewEditableTimeSpendTotal::ViewTextEntry_EndEdit(uint32_t) {
    // The entry reports every focus-out; only an edit started here is read.
    if (!m_editing) return;
    m_editing = false;
    const QString typed = m_entry->text();
    m_currentLabel->show();
    m_entry->hide();
    m_entry->unfocus();

    const TimeEntryValue value = time_entry_value(typed, m_mode, m_numerator, m_denominator, m_rate,
                                                  m_timecodeStart, m_dropFrame != 0);
    if (!value.valid) {
        qDebug().noquote() << QStringLiteral("Fail to parse Str TC : '") + value.unsignedText + QStringLiteral("%'");
        emit ViewEditableTimeSpendTotal_InvalidNewTime();
        return;
    }
    if (value.sign == 0)
        emit ViewEditableTimeSpendTotal_NewTimeValue(value.frames);
    else
        emit ViewEditableTimeSpendTotal_NewTimeValueByOffset(int64_t(value.sign) * int64_t(value.frames));
}
