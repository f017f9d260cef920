<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko" sourcelanguage="en">
<context>
    <name>Startup</name>
    <message>
        <location filename="../app/StartupTexts.cpp" line="+8"/>
        <source>Usage: %1 [switch] [source]

Switches:
  /Open, --open            open the source
  /Play, --play            play the source (the default)
  /Rec, /Record, --record  record the source
  --help                   show this help

The source is a file, a file:// URI or a stream URL. A name and a record time in seconds may follow
it, joined by &quot;&amp;&amp;&quot;: source&amp;&amp;name&amp;&amp;seconds.
Only the first source counts; the arguments after it are ignored.
When an instance is already running, it receives the request and this start ends.
</source>
        <translation>사용법: %1 [스위치] [소스]

스위치:
  /Open, --open            소스를 엽니다
  /Play, --play            소스를 재생합니다 (기본값)
  /Rec, /Record, --record  소스를 녹화합니다
  --help                   이 도움말을 표시합니다

소스는 파일, file:// URI 또는 스트림 URL입니다. 그 뒤에 &quot;&amp;&amp;&quot;로 이어서 이름과 녹화 시간(초)을
붙일 수 있습니다: 소스&amp;&amp;이름&amp;&amp;초.
첫 번째 소스만 사용되며 그 뒤의 인수는 무시됩니다.
이미 실행 중인 인스턴스가 있으면 그 인스턴스가 요청을 받고 이 실행은 끝납니다.
</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>%1: unknown switch &quot;%2&quot;
Try &quot;%1 --help&quot; for more information.
</source>
        <translation>%1: 알 수 없는 스위치 &quot;%2&quot;
자세한 내용은 &quot;%1 --help&quot;를 실행하십시오.
</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Larkspan Recorder is already running, but the command line is longer than %1 bytes, the most a running instance accepts. Nothing was opened.
</source>
        <translation>Larkspan Recorder가 이미 실행 중이지만, 명령줄이 실행 중인 인스턴스가 받을 수 있는 최대 길이인 %1바이트보다 깁니다. 아무것도 열지 않았습니다.
</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Larkspan Recorder is already running but did not answer within %1 seconds. This start ends; the running instance may still take the request once it answers again.
</source>
        <translation>Larkspan Recorder가 이미 실행 중이지만 %1초 안에 응답하지 않았습니다. 이 실행은 끝나며, 실행 중인 인스턴스가 다시 응답하게 되면 요청을 받을 수도 있습니다.
</translation>
    </message>
    <message>
        <location filename="../ui/main/RunDesktop.cpp" line="+27"/>
        <source>The windows are not built yet.</source>
        <translation>창이 아직 만들어지지 않았습니다.</translation>
    </message>
</context>
<context>
    <name>larkspan::SpectrumMeter</name>
    <message>
        <location filename="../ui/skin/SpectrumMeter.cpp" line="+99"/>
        <source>Fast</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normal speed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Slow</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Pause</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
