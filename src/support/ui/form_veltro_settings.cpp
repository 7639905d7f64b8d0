#include "support/ui/form_veltro_settings.h"

#include "support/numbers.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/ui/run_trapped.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <algorithm>

namespace veltro {

namespace {

// A delay is at most five digits: what the timing values take, and far beyond any real delay.
constexpr int kDelayDigits = 5;
// Seconds per length: digits and one decimal point ("0.08"), eight characters at most.
constexpr int kLengthChars = 8;

bool delay_fits(const QString& text) {
    if (text.size() > kDelayDigits)
        return false;
    for (const QChar c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool seconds_fit(const QString& text) {
    return text.size() <= kLengthChars && text.count('.') <= 1 &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// The field's text once `typed` replaces the selection (or goes in at the cursor).
QString after_typing(const QLineEdit* field, const QString& typed) {
    QString text = field->text();
    if (field->hasSelectedText())
        return text.replace(field->selectionStart(), field->selectedText().size(), typed);
    return text.insert(field->cursorPosition(), typed);
}

} // namespace

bool setting_switch_on(const char* key) {
    try {
        return parse_long(Read_Setting("Settings", key, "0")) != 0;
    } catch (const std::exception&) {
        return false;
    }
}

Form_Veltro_settings::Form_Veltro_settings(std::function<void()> load_compensations, QWidget* parent)
    : QWidget(parent, Qt::Window), load_compensations_(std::move(load_compensations)) {
    setObjectName("Form_Veltro_settings");
    setWindowTitle("Veltro HDMI Settings");
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* various = new QGroupBox("Various settings", this);
    various->setObjectName("Frame_various");
    auto* various_layout = new QVBoxLayout(various);
    auto_init_ = check("Check_Auto_init", "Automatically initiate file on start signal", keys::auto_init.key);
    print_dialog_ =
        check("Check_print_dialog", "Show printer dialog on Print commands", keys::show_printer_dialog.key);
    open_after_finish_ = check("Check_open_after_finish", "Automatically open last heat after Heat Finish",
                               keys::open_after_finish.key);
    various_layout->addWidget(auto_init_);
    various_layout->addWidget(print_dialog_);
    replace_without_asking_ = check("Check_replace_without_asking", "Replace a judged time without asking",
                                    keys::replace_without_asking.key);
    various_layout->addWidget(open_after_finish_);
    various_layout->addWidget(replace_without_asking_);

    auto* box_frame = new QGroupBox("Box delay ms", this);
    auto* box_layout = new QVBoxLayout(box_frame);
    box_delay_ = delay_field("Text_Box_delay", keys::box_delay.key);
    box_layout->addWidget(box_delay_);

    auto* cam_frame = new QGroupBox("Video pipe camera delay ms", this);
    auto* cam_layout = new QGridLayout(cam_frame);
    cam_layout->addWidget(new QLabel("Goal              Split", cam_frame), 0, 0, 1, 2);
    goal_delay_ = delay_field("Text_goalcam_delay", keys::goal_compensation.key);
    split_delay_ = delay_field("Text_splitcam_delay", keys::split_compensation.key);
    cam_layout->addWidget(goal_delay_, 1, 0);
    cam_layout->addWidget(split_delay_, 1, 1);

    auto* length_frame = new QGroupBox("Seconds per length", this);
    length_frame->setObjectName("Frame_seconds_per_length");
    seconds_per_length_ = new QLineEdit(length_frame);
    seconds_per_length_->setObjectName("Text_seconds_per_length");
    seconds_per_length_->setMaximumWidth(90);
    seconds_per_length_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QString("(?=.{0,%1}$)[0-9]*\\.?[0-9]*").arg(kLengthChars)), seconds_per_length_));
    seconds_per_length_->installEventFilter(this);
    connect(
        seconds_per_length_, &QLineEdit::textChanged, this,
        trapped("Text_seconds_per_length_Change of Form Form_Veltro_settings", [this](const QString& text) {
            if (!loading_)
                Write_Setting(keys::seconds_per_length, text.toStdString());
        }));
    (new QVBoxLayout(length_frame))->addWidget(seconds_per_length_);

    auto* hide = new QPushButton("Hide", this);
    hide->setObjectName("Command_hide");
    connect(hide, &QPushButton::clicked, this, [this] { close(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(various);
    auto* delays = new QHBoxLayout;
    delays->addWidget(box_frame);
    delays->addWidget(cam_frame);
    delays->addWidget(length_frame);
    layout->addLayout(delays);
    layout->addWidget(hide, 0, Qt::AlignRight);
}

QCheckBox* Form_Veltro_settings::check(const char* name, const char* caption, const char* key) {
    auto* box = new QCheckBox(caption, this);
    box->setObjectName(name);
    const std::string location = std::string(name) + "_Click of Form Form_Veltro_settings";
    connect(box, &QCheckBox::toggled, this, trapped(location, [this, key](bool on) {
                if (!loading_) {
                    Write_Setting("Settings", key, on ? "1" : "0");
                }
            }));
    return box;
}

QLineEdit* Form_Veltro_settings::delay_field(const char* name, const char* key) {
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    field->setMaximumWidth(90);
    // Pasted or dropped text that does not fit never reaches the field.
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QString("[0-9]{0,%1}").arg(kDelayDigits)), field));
    field->installEventFilter(this);
    const std::string location = std::string(name) + "_Change of Form Form_Veltro_settings";
    connect(field, &QLineEdit::textChanged, this, trapped(location, [this, key](const QString& text) {
                if (loading_) {
                    return;
                }
                Write_Setting("Settings", key, text.toStdString());
                if (load_compensations_) {
                    load_compensations_();
                }
            }));
    return field;
}

void Form_Veltro_settings::load(std::int32_t goal_compensation, std::int32_t split_compensation,
                                std::int32_t box_delay) {
    loading_ = true;
    goal_delay_->setText(QString::number(goal_compensation));
    split_delay_->setText(QString::number(split_compensation));
    box_delay_->setText(QString::number(box_delay));
    seconds_per_length_->setText(QString::fromStdString(Read_Setting(keys::seconds_per_length)));
    auto_init_->setChecked(setting_switch_on(keys::auto_init.key));
    print_dialog_->setChecked(setting_switch_on(keys::show_printer_dialog.key));
    open_after_finish_->setChecked(setting_switch_on(keys::open_after_finish.key));
    replace_without_asking_->setChecked(setting_switch_on(keys::replace_without_asking.key));
    loading_ = false;
}

bool Form_Veltro_settings::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == box_delay_ || watched == goal_delay_ ||
                                              watched == split_delay_ || watched == seconds_per_length_)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return false;
        default:
            break;
        }
        const auto* field = static_cast<QLineEdit*>(watched);
        const auto fits = field == seconds_per_length_ ? seconds_fit : delay_fits;
        if (key->matches(QKeySequence::Paste)) {
            if (fits(after_typing(field, QGuiApplication::clipboard()->text())))
                return false;
            the_operator().beep();
            return true;
        }
        // Other shortcuts (copy, select all) pass; a typed character is taken only while the field
        // still fits.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
            return false;
        }
        const QString text = key->text();
        if (!text.isEmpty() && !fits(after_typing(field, text))) {
            the_operator().beep();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace veltro
