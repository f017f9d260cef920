// The embedded Korean translation through the real windows and contexts, and the Korean source's completeness.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QXmlStreamReader>
#include <memory>
#include <string>
#include <vector>

#include "app/Translations.h"
#include "recorder/RecorderSettings.h"
#include "recorder/SettingsProfile.h"
#include "ui/mainwin/MediaFileDialog.h"
#include "ui/player/PlayerWindow.h"
#include "ui/prefs/PreferencesDialog.h"
#include "ui/skin/Skin.h"
#include "ui/skin/SpectrumMeter.h"

namespace larkspan {
namespace {

using Texts = std::vector<std::string>;

Texts ItemTexts(const QMenu& menu) {
    Texts texts;
    for (const QAction* action : menu.actions())
        if (!action->isSeparator()) texts.push_back(action->text().toStdString());
    return texts;
}

TEST(KoreanTexts, WindowsAndContextsShowKoreanTexts) {
    ASSERT_EQ(LoadTranslations(*qApp, QLocale(QLocale::Korean)), QStringLiteral("ko"));
    RecorderSettings settings;
    MemoryProfile profile;
    Skin skin;
    PlayerWindow player(settings, profile, skin, PlaybackEngineOptions{.fakeAudioOutput = true});
    const std::unique_ptr<QMenu> playerMenu(player.CreateContextMenu());
    EXPECT_EQ(ItemTexts(*playerMenu), Texts({"열기(&O)...", "URL 열기(&U)...", "재생 제어(&P)", "볼륨(&V)", "자막 제어",
                                             "절반 크기", "보통 크기", "두 배 크기", "전체 화면", "화면 크기 유지(&S)",
                                             "화면 비율 유지(&R)", "항상 위(&T)", "화면 보호기 막기(&V)", "끝내기(&X)"}));
    SpectrumMeter meter(skin);
    EXPECT_EQ(ItemTexts(*meter.makeMenu()), Texts({"빠르게", "보통 속도", "느리게", "일시 정지"}));
    EXPECT_EQ(PreferencesDialog(settings, profile, nullptr).windowTitle().toStdString(), "환경 설정");
    EXPECT_EQ(MediaFileFilters().last().toStdString(), "모든 파일(*.*) (*)");

    const char* const kPlayer = "larkspan::PlayerWindow";
    const char* const rows[][3] = {
        {"larkspan::RecordList", "Completed", "완료"}, {"larkspan::RecordList", "Cancelled", "취소"},
        {kPlayer, "Half size", "절반 크기"}, {kPlayer, "Normal size", "보통 크기"}, {kPlayer, "Double size", "두 배 크기"},
        {kPlayer, "Full screen", "전체 화면"}, {kPlayer, "Mute", "음소거"}, {kPlayer, "Filter settings", "필터 설정"},
        {kPlayer, "Keep screen ratio", "화면 비율 유지"}, {kPlayer, "Do not keep screen ratio", "화면 비율 유지 안 함"},
        {"QuestionDialogs", "asf Files (*.asf)", "asf 파일 (*.asf)"},
    };
    for (const auto& [context, source, korean] : rows)
        EXPECT_EQ(QCoreApplication::translate(context, source).toStdString(), korean);
}

// "context|source" of every message of a translation source; untranslated gets those without a translation.
QStringList ReadTs(const QString& path, QStringList* untranslated = nullptr) {
    QStringList keys;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == u"name") context = xml.readElementText();
        if (xml.name() == u"source") source = xml.readElementText();
        if (xml.name() != u"translation") continue;
        keys << context + '|' + source;
        const bool unfinished = xml.attributes().value("type") == u"unfinished";
        if ((xml.readElementText().isEmpty() || unfinished) && untranslated) *untranslated << keys.last();
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return keys;
}

TEST(KoreanTranslationSource, TranslatesEveryMessage) {
    QStringList untranslated;
    const QStringList korean = ReadTs(LARKSPAN_SOURCE_DIR "/translations/larkspan_ko.ts", &untranslated);
    const QStringList english = ReadTs(LARKSPAN_SOURCE_DIR "/translations/larkspan_en.ts");
    EXPECT_EQ(korean.join('\n').toStdString(), english.join('\n').toStdString());
    EXPECT_EQ(untranslated.join('\n').toStdString(), "");
}

}  // namespace
}  // namespace larkspan
