#include "services/about_box.h"

#include "core/base/numtext.h"
#include "platform/sysinfo.h"
#include "services/program_id.h"

#include <QApplication>
#include <QDate>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

namespace ravlon {

namespace {

constexpr int kClientWidth = 410;
constexpr int kClientHeight = 256;
constexpr int kLineLeft = 172;
constexpr int kLineWidth = 237;
constexpr int kLineGap = 3;

// A picture that reports double clicks.
class ClickImage final : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onDoubleClick;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QLabel::mouseDoubleClickEvent(event);
        if (onDoubleClick) onDoubleClick();
    }
};

QLabel* MakeLine(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

} // namespace

std::string CompileDateText() {
    const QDate date =
        QDate::fromString(QString::fromLatin1(__DATE__).simplified(), QStringLiteral("MMM d yyyy"));
    return date.isValid() ? date.toString(Qt::ISODate).toStdString() : std::string(__DATE__);
}

TAbout::TAbout(QObject* parent)
    : QObject(parent), copyright_(kMakerCopyright), osVersions_(OSVersionsText()) {
    BuildDialog();
    RefreshLines();
}

TAbout::~TAbout() = default;

void TAbout::BuildDialog() {
    dialog_ = std::make_unique<QDialog>();
    QDialog* dialog = dialog_.get();
    dialog->setWindowTitle(QStringLiteral("About"));
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    dialog->resize(kClientWidth, kClientHeight);

    panel_ = new QFrame(dialog);
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel_->setLineWidth(1);
    panel_->setGeometry(10, (kClientHeight - 234) / 2, 163, 234);
    auto* picture = new ClickImage(panel_);
    picture->setGeometry(4, 4, 153, 225);
    picture->setAttribute(Qt::WA_TranslucentBackground);
    picture->onDoubleClick = [this] { PictureDoubleClicked(); };
    picture_ = picture;

    auto* icon = new ClickImage(dialog);
    icon->setGeometry(372, 9, 41, 37);
    icon->setAlignment(Qt::AlignCenter);
    const QIcon appIcon = QApplication::windowIcon();
    icon->setPixmap(appIcon.isNull() ? QPixmap::fromImage(DrawProgramIcon())
                                     : appIcon.pixmap(32, 32));
    icon->onDoubleClick = [this] { IconDoubleClicked(); };
    icon_ = icon;

    titleLabel_ = new QLabel(dialog);
    titleLabel_->setTextFormat(Qt::PlainText);
    titleLabel_->setGeometry(kLineLeft, 16, kLineWidth, 23);
    titleLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_->setWordWrap(false);
    QFont titleFont(QStringLiteral("Arial"), 16);
    titleFont.setBold(true);
    titleLabel_->setFont(titleFont);
    // The title bar's text colour has no counterpart in a Qt palette; the
    // highlight colour is the one that stands for the active caption here.
    QPalette titlePalette = titleLabel_->palette();
    titlePalette.setColor(QPalette::WindowText, dialog->palette().color(QPalette::Highlight));
    titleLabel_->setPalette(titlePalette);

    versionLabel_ = MakeLine(dialog);
    familyLabel_ = MakeLine(dialog);
    familyLabel_->setText(QStringLiteral("A Ostrel application"));
    copyrightLabel_ = MakeLine(dialog);
    compileLabel_ = MakeLine(dialog);
    extraLabel_ = MakeLine(dialog);
    memoryLabel_ = MakeLine(dialog);

    okButton_ = new QPushButton(QStringLiteral("&Ok"), dialog);
    okButton_->setDefault(true);
    okButton_->resize(75, 25);
    QObject::connect(okButton_, &QPushButton::clicked, dialog, &QDialog::accept);
}

void TAbout::SetTitle(const std::string& value) {
    title_ = value;
    RefreshLines();
}

void TAbout::SetVersion(const std::string& value) {
    version_ = value;
    RefreshLines();
}

double TAbout::VersionNumber() const {
    try {
        return StrToFloatDot(version_);
    } catch (const EConvertError&) {
        return 0;
    }
}

void TAbout::SetCopyright(const std::string& value) {
    copyright_ = value;
    RefreshLines();
}

void TAbout::SetExtra(const std::string& value) {
    extra_ = value;
    RefreshLines();
}

void TAbout::SetShowCompileDate(bool value) {
    showCompileDate_ = value;
    RefreshLines();
}

void TAbout::SetRevision(const std::string& value) {
    revision_ = value;
    RefreshLines();
}

void TAbout::SetOSVersions(const std::string& value) {
    osVersions_ = value;
    RefreshLines();
}

void TAbout::Loaded() {
    if (version_ == "auto") version_ = "3.0";
    if (revision_ == "auto") revision_.clear();
    RefreshLines();
}

void TAbout::SetPictureCallback(std::function<void()> callback) {
    pictureCallback_ = std::move(callback);
}

void TAbout::PictureDoubleClicked() {
    if (pictureCallback_) pictureCallback_();
}

void TAbout::IconDoubleClicked() {
    if (OnEggClick) OnEggClick(this);
}

std::string TAbout::VersionLine() const {
    return "Version " + version_ + revision_ + " for " + osVersions_;
}

std::string TAbout::MemoryLine() const {
    const double mib = static_cast<double>(PhysicalMemoryBytes()) / 1024.0 / 1024.0;
    return "Physical memory: " + FormatFloat("#.#", mib) + " MiB";
}

std::string TAbout::CompileDateLine() const {
    // A date without time, shown in the program's date-and-time form.
    return "Compiled " + CompileDateText() + " 00:00:00";
}

void TAbout::SetPicture(const QImage& image) {
    picture_->setPixmap(QPixmap::fromImage(image));
    picture_->resize(image.size());
}

void TAbout::RefreshLines() {
    titleLabel_->setText(QString::fromStdString(title_));
    versionLabel_->setText(QString::fromStdString(VersionLine()));
    copyrightLabel_->setText(QString::fromStdString(copyright_));
    compileLabel_->setText(QString::fromStdString(CompileDateLine()));
    extraLabel_->setText(QString::fromStdString(extra_));
    memoryLabel_->setText(QString::fromStdString(MemoryLine()));

    familyLabel_->setVisible(FamilyLineVisible());
    compileLabel_->setVisible(showCompileDate_);
    extraLabel_->setVisible(!extra_.empty());

    int y = titleLabel_->geometry().bottom() + 1 + kLineGap;
    for (QLabel* line :
         {versionLabel_, familyLabel_, copyrightLabel_, compileLabel_, extraLabel_, memoryLabel_}) {
        if (line->isHidden()) continue;
        const int height = line->heightForWidth(kLineWidth);
        line->setGeometry(kLineLeft, y, kLineWidth,
                          height > 0 ? height : line->fontMetrics().height());
        y = line->geometry().bottom() + 1 + kLineGap;
    }
    okButton_->move(254, y + 5 - kLineGap);
    // Ten pixels under the button, but never cutting into the picture panel.
    const int height = std::max(okButton_->geometry().bottom() + 1 + 10, 234 + 2 * 10);
    dialog_->setFixedSize(kClientWidth, height);
    panel_->move(10, (height - panel_->height()) / 2);
}

int TAbout::showmodal() {
    RefreshLines();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog_->move(area.center() - dialog_->rect().center());
    }
    return dialog_->exec();
}

TOstrelAbout::TOstrelAbout(QObject* parent) : TAbout(parent) {}

void TOstrelAbout::SetShowAOstrel(bool value) {
    showAOstrel_ = value;
    RefreshLines();
}

void TOstrelAbout::Loaded() {
    SetPicture(DrawFamilyPicture(BMP256()));
    TAbout::Loaded();
}

} // namespace ravlon
