#include "app/QtSettingsProfile.h"

#include <QSettings>
#include <QString>

namespace larkspan {

namespace {
QString GroupOf(const std::string& section) {
    // A section such as "FileMRUList\url" names a nested group.
    QString s = QString::fromStdString(section);
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return s;
}

QString KeyOf(const std::string& section, const std::string& key) {
    return GroupOf(section) + QLatin1Char('/') + QString::fromStdString(key);
}
}  // namespace

QtSettingsProfile::QtSettingsProfile()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Brellow"), QStringLiteral("Larkspan Recorder"))) {}

QtSettingsProfile::~QtSettingsProfile() = default;

int QtSettingsProfile::GetInt(const std::string& section, const std::string& key, int defaultValue) {
    QVariant v = settings_->value(KeyOf(section, key));
    if (!v.isValid()) return defaultValue;
    bool ok = false;
    int n = v.toInt(&ok);
    return ok ? n : defaultValue;
}

std::string QtSettingsProfile::GetString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) {
    QVariant v = settings_->value(KeyOf(section, key));
    if (!v.isValid()) return defaultValue;
    return v.toString().toStdString();
}

void QtSettingsProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    settings_->setValue(KeyOf(section, key), value);
}

void QtSettingsProfile::WriteString(const std::string& section, const std::string& key,
                                    const std::string& value) {
    settings_->setValue(KeyOf(section, key), QString::fromStdString(value));
}

void QtSettingsProfile::DeleteSection(const std::string& section) {
    // An empty group would remove the whole profile.
    if (!section.empty()) settings_->remove(GroupOf(section));
}

void QtSettingsProfile::Sync() { settings_->sync(); }

}  // namespace larkspan
