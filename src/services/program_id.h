// TProgId (unit cProgId): the program's identity (product name, version, company, copyright
// line). The settings store names its keys and folders after it; the help
// menu shows its product name and compares its version. UI thread only.
#pragma once

#include <QObject>

#include <string>

namespace ravlon {

class TProgId : public QObject {
    Q_OBJECT
public:
    // The values of a newly placed component: Company "GessumData",
    // ProductName "AppName", Version "1.0", AutoVersion true.
    explicit TProgId(QObject* parent = nullptr);

    const std::string& ProductName() const { return productName_; }
    void SetProductName(const std::string& value) { productName_ = value; }
    bool AutoVersion() const { return autoVersion_; }
    void SetAutoVersion(bool value) { autoVersion_ = value; }
    // "3.0" while AutoVersion is on, else the stored text.
    std::string Version() const { return autoVersion_ ? "3.0" : version_; }
    void SetVersion(const std::string& value) { version_ = value; }
    const std::string& Company() const { return company_; }
    void SetCompany(const std::string& value) { company_ = value; }
    const std::string& Copyright() const { return copyright_; }
    void SetCopyright(const std::string& value) { copyright_ = value; }

private:
    std::string productName_ = "AppName";
    bool autoVersion_ = true;
    std::string version_ = "1.0";
    std::string company_ = "GessumData";
    std::string copyright_;
};

// The copyright line of the maker.
inline constexpr const char* kMakerCopyright = "Copyright \u00a9 2002-2025 GessumData";

} // namespace ravlon
