// The session's dialogs.
#include "session/session_dialogs.h"

#include "core/base/numtext.h"
#include "platform/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

using namespace ravlon;

namespace {

QDialogButtonBox* OkCancel(QDialog* dialog, QVBoxLayout* layout) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(box);
    return box;
}

// An optional number field: nothing when empty.
std::optional<double> Optional(const QLineEdit* edit, const char* name, double min, double max) {
    const std::string text = edit->text().trimmed().toStdString();
    if (text.empty()) return std::nullopt;
    double v = 0;
    try {
        v = StrToFloat(text);
    } catch (const EConvertError&) {
        throw EConvertError(std::string(name) + ": '" + text + "' is not a number.");
    }
    if (!(v >= min && v <= max))
        throw EConvertError(std::string(name) + ": " + text + " is out of range (" +
                            FloatToStr(min) + " to " + FloatToStr(max) + ").");
    return v;
}

} // namespace

TSessionInfoDialog::TSessionInfoDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("New session");
    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    RoomEdit = new QLineEdit(this);
    VolumeEdit = new QLineEdit(this);
    TemperatureEdit = new QLineEdit(this);
    HumidityEdit = new QLineEdit(this);
    NotesEdit = new QPlainTextEdit(this);
    NotesEdit->setTabChangesFocus(true);
    form->addRow("Room", RoomEdit);
    form->addRow("Volume [m³] (optional)", VolumeEdit);
    form->addRow("Temperature [°C] (optional)", TemperatureEdit);
    form->addRow("Relative humidity [%] (optional)", HumidityEdit);
    form->addRow("Notes", NotesEdit);
    column->addLayout(form);
    OkCancel(this, column);
}

TSessionInfo TSessionInfoDialog::Info() const {
    TSessionInfo info;
    info.Room = RoomEdit->text().trimmed().toStdString();
    info.Volume = Optional(VolumeEdit, "Volume", 1e-3, 1e9);
    info.Temperature = Optional(TemperatureEdit, "Temperature", -50, 100);
    info.Humidity = Optional(HumidityEdit, "Relative humidity", 0, 100);
    info.Notes = NotesEdit->toPlainText().toStdString();
    return info;
}

void TSessionInfoDialog::accept() {
    try {
        Info();
    } catch (const EConvertError& e) {
        ShowMessageBox(e.what(), "New session", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    QDialog::accept();
}

TReportDialog::TReportDialog(const std::vector<std::string>& labels, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Export report");
    auto* column = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    TitleEdit = new QLineEdit(QString::fromStdString(TReportChoice().Title), this);
    DecayCombo = new QComboBox(this);
    for (const std::string& label : labels) DecayCombo->addItem(QString::fromStdString(label));
    PdfCheck = new QCheckBox("Also write a PDF", this);
    form->addRow("Title", TitleEdit);
    form->addRow("Decays at position", DecayCombo);
    form->addRow("", PdfCheck);
    column->addLayout(form);
    OkCancel(this, column);
}

TReportChoice TReportDialog::Choice() const {
    TReportChoice c;
    c.Title = TitleEdit->text().trimmed().toStdString();
    if (c.Title.empty()) c.Title = TReportChoice().Title;
    c.DecayPosition = std::max(DecayCombo->currentIndex(), 0);
    c.Pdf = PdfCheck->isChecked();
    return c;
}
