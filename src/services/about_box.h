// Unit sabout: the about box (TAbout, TOstrelAbout); the error log of the
// same unit is in error_log.h.
//
// TAbout is a non-visual component that owns its dialog, built in code when
// the component is created; showmodal() shows it. TOstrelAbout adds the
// product family's picture, whose double click calls the callback that
// another component (the error log) registers.
//
// UI thread only.
#pragma once

#include "core/base/errors.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QDialog;
class QLabel;
class QPushButton;
class QFrame;
class QImage;

namespace ravlon {

// The date of this build, "yyyy-MM-dd" (a date without time).
std::string CompileDateText();

// The family picture (153 x 225) and the program icon (41 x 37), drawn in code.
QImage DrawFamilyPicture(bool palette256);
QImage DrawProgramIcon();

class TAbout : public QObject {
    Q_OBJECT
public:
    // Builds the dialog; Title "AppName", Version "auto", the maker's
    // copyright line, empty Extra and Revision, ShowCompileDate true,
    // OSVersions = the running system's name (OSVersionsText()).
    explicit TAbout(QObject* parent = nullptr);
    ~TAbout() override;

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value);
    const std::string& Version() const { return version_; }
    void SetVersion(const std::string& value);
    // Version as a number ("." decimal point); 0 when it is not a number.
    double VersionNumber() const;
    const std::string& Copyright() const { return copyright_; }
    void SetCopyright(const std::string& value);
    const std::string& Extra() const { return extra_; }
    void SetExtra(const std::string& value);
    bool ShowCompileDate() const { return showCompileDate_; }
    void SetShowCompileDate(bool value);
    const std::string& Revision() const { return revision_; }
    void SetRevision(const std::string& value);
    bool BMP256() const { return bmp256_; }
    void SetBMP256(bool value) { bmp256_ = value; }
    const std::string& OSVersions() const { return osVersions_; }
    void SetOSVersions(const std::string& value);
    // Called on a double click on the program icon; sender = this.
    std::function<void(QObject* sender)> OnEggClick;

    // End of loading: Version "auto" becomes "3.0", Revision "auto" empty.
    virtual void Loaded();

    // Refreshes the lines and shows the dialog modally; returns its result.
    int showmodal();

    // The callback of a double click on the family picture (empty: none).
    void SetPictureCallback(std::function<void()> callback);

    // The texts of the lines as shown.
    std::string VersionLine() const;
    std::string MemoryLine() const;
    std::string CompileDateLine() const;

    // The dialog and its parts (tests, screenshots).
    QDialog* Dialog() const { return dialog_.get(); }
    QLabel* PictureImage() const { return picture_; }
    QLabel* IconImage() const { return icon_; }
    QLabel* TitleLabel() const { return titleLabel_; }
    QLabel* VersionLabel() const { return versionLabel_; }
    QLabel* FamilyLabel() const { return familyLabel_; }
    QLabel* CopyrightLabel() const { return copyrightLabel_; }
    QLabel* CompileDateLabel() const { return compileLabel_; }
    QLabel* ExtraLabel() const { return extraLabel_; }
    QLabel* MemoryLabel() const { return memoryLabel_; }
    QPushButton* OkButton() const { return okButton_; }

protected:
    // Updates every line and lays the lines out again.
    void RefreshLines();
    virtual bool FamilyLineVisible() const { return false; }
    void SetPicture(const QImage& image);

private:
    void BuildDialog();
    void PictureDoubleClicked();
    void IconDoubleClicked();

    std::string title_ = "AppName";
    std::string version_ = "auto";
    std::string copyright_;
    std::string extra_;
    bool showCompileDate_ = true;
    std::string revision_;
    bool bmp256_ = true;
    std::string osVersions_;
    std::function<void()> pictureCallback_;

    std::unique_ptr<QDialog> dialog_;
    QFrame* panel_ = nullptr;
    QLabel* picture_ = nullptr;
    QLabel* icon_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* familyLabel_ = nullptr;
    QLabel* copyrightLabel_ = nullptr;
    QLabel* compileLabel_ = nullptr;
    QLabel* extraLabel_ = nullptr;
    QLabel* memoryLabel_ = nullptr;
    QPushButton* okButton_ = nullptr;
};

class TOstrelAbout : public TAbout {
    Q_OBJECT
public:
    explicit TOstrelAbout(QObject* parent = nullptr);

    // Shows the line "A Ostrel application" under the title (default false).
    bool ShowAOstrel() const { return showAOstrel_; }
    void SetShowAOstrel(bool value);

    // Also loads the family picture (with its 256-colour palette when BMP256).
    void Loaded() override;

protected:
    bool FamilyLineVisible() const override { return showAOstrel_; }

private:
    bool showAOstrel_ = false;
};

} // namespace ravlon
