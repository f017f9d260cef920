<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ko" sourcelanguage="en">
<context>
    <name>FolderBrowser</name>
    <message>
        <location filename="../ui/prefs/FolderBrowser.cpp" line="+28"/>
        <source>Select Folder</source>
        <translation>폴더 선택</translation>
    </message>
</context>
<context>
    <name>MediaFileDialog</name>
    <message>
        <location filename="../ui/mainwin/MediaFileDialog.cpp" line="+15"/>
        <source>Media Files</source>
        <translation>미디어 파일</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Media Meta files(*.asx;*.wax)</source>
        <translation>미디어 메타 파일(*.asx;*.wax)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Video Files(*.asf;*.mpg;*mpeg)</source>
        <translation>비디오 파일(*.asf;*.mpg;*mpeg)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Music Files(*.mp3;*.wma)</source>
        <translation>음악 파일(*.mp3;*.wma)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>All Files(*.*)</source>
        <translation>모든 파일(*.*)</translation>
    </message>
</context>
<context>
    <name>QuestionDialogs</name>
    <message>
        <location filename="../ui/recorder/ExportCommands.cpp" line="+83"/>
        <location filename="../ui/recorder/QuestionDialogs.cpp" line="+31"/>
        <source>%1 

 File exist. Overwrite?</source>
        <translation>%1 

 파일이 이미 있습니다. 덮어쓰시겠습니까?</translation>
    </message>
    <message>
        <location filename="../ui/recorder/QuestionDialogs.cpp" line="+15"/>
        <source>asf Files (*.asf)</source>
        <translation>asf 파일 (*.asf)</translation>
    </message>
</context>
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
        <location line="+8"/>
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
</context>
<context>
    <name>larkspan::AdapterDialog</name>
    <message>
        <location filename="../ui/recorder/AdapterDialog.cpp" line="+13"/>
        <source>Select Adapter</source>
        <translation>어댑터 선택</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Open capture file...</source>
        <translation>캡처 파일 열기...</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Open capture file</source>
        <translation>캡처 파일 열기</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Capture files (*.pcap *.pcapng *.cap);;All Files (*)</source>
        <translation>캡처 파일 (*.pcap *.pcapng *.cap);;모든 파일 (*)</translation>
    </message>
</context>
<context>
    <name>larkspan::Desktop</name>
    <message>
        <location filename="../ui/main/Desktop.cpp" line="+279"/>
        <source>Larkspan Recorder</source>
        <translation>Larkspan Recorder</translation>
    </message>
</context>
<context>
    <name>larkspan::DetectionControl</name>
    <message>
        <location filename="../ui/recorder/DetectionControl.cpp" line="+31"/>
        <source>Capturing needs the right to capture packets. Grant it once with: sudo setcap cap_net_raw,cap_net_admin=eip %1</source>
        <translation>패킷을 캡처하려면 캡처 권한이 필요합니다. 다음 명령으로 한 번 권한을 주십시오: sudo setcap cap_net_raw,cap_net_admin=eip %1</translation>
    </message>
</context>
<context>
    <name>larkspan::ExportCommands</name>
    <message>
        <location filename="../ui/recorder/ExportCommands.cpp" line="+10"/>
        <source>Save As</source>
        <translation>다른 이름으로 저장</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>asx Files (*.asx)</source>
        <translation>asx 파일 (*.asx)</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>The file %1 could not be written: %2</source>
        <translation>%1 파일을 쓸 수 없습니다: %2</translation>
    </message>
</context>
<context>
    <name>larkspan::FilterPropertiesDialog</name>
    <message>
        <location filename="../ui/player/FilterPropertiesDialog.cpp" line="+17"/>
        <source>Property</source>
        <translation>속성</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Type</source>
        <translation>형식</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Value</source>
        <translation>값</translation>
    </message>
</context>
<context>
    <name>larkspan::PasswordDialog</name>
    <message>
        <location filename="../ui/recorder/PasswordDialog.cpp" line="+15"/>
        <source>Username and Password Required</source>
        <translation>사용자 이름과 암호 필요</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>save?(&amp;S)</source>
        <translation>저장(&amp;S)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Site :</source>
        <translation>사이트 :</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Region :</source>
        <translation>영역 :</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Username( &amp;U) :</source>
        <translation>사용자 이름(&amp;U) :</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Password( &amp;P) :</source>
        <translation>암호(&amp;P) :</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Ok</source>
        <translation>확인</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Enter username for Member( Case sensitive )</source>
        <translation>회원 사용자 이름을 입력하십시오(대소문자 구분)</translation>
    </message>
</context>
<context>
    <name>larkspan::PlayerWindow</name>
    <message>
        <location filename="../ui/player/PlayerWindow.cpp" line="+221"/>
        <location filename="../ui/player/PlayerWindowCommands.cpp" line="+201"/>
        <source>Volume : %1 %</source>
        <translation>볼륨 : %1 %</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Center</source>
        <translation>가운데</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Right : %1%</source>
        <translation>오른쪽 : %1%</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Left : %1%</source>
        <translation>왼쪽 : %1%</translation>
    </message>
    <message>
        <location line="+59"/>
        <source>Half size</source>
        <translation>절반 크기</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normal size</source>
        <translation>보통 크기</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Double size</source>
        <translation>두 배 크기</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Full screen</source>
        <translation>전체 화면</translation>
    </message>
    <message>
        <location filename="../ui/player/PlayerWindowCommands.cpp" line="-152"/>
        <source>Open(&amp;O)...</source>
        <translation>열기(&amp;O)...</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>URL Open(&amp;U)...</source>
        <translation>URL 열기(&amp;U)...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Play/Pause</source>
        <translation>재생/일시 정지</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Back 30 Second</source>
        <translation>30초 뒤로</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Fwd 30 second</source>
        <translation>30초 앞으로</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back 1 minute</source>
        <translation>1분 뒤로</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Fwd 1 minute</source>
        <translation>1분 앞으로</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Repeat(&amp;R)</source>
        <translation>반복(&amp;R)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Slow speed(&amp;1)</source>
        <translation>느리게(&amp;1)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normal speed(&amp;2)</source>
        <translation>보통 속도(&amp;2)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Fast speed(&amp;3)</source>
        <translation>빠르게(&amp;3)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Up</source>
        <translation>소리 크게</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Down</source>
        <translation>소리 작게</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+125"/>
        <source>Mute</source>
        <translation>음소거</translation>
    </message>
    <message>
        <location line="-123"/>
        <source>Hide caption(&amp;H)</source>
        <translation>자막 숨기기(&amp;H)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Font Bigger(&amp;L)</source>
        <translation>글꼴 크게(&amp;L)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Font Samller(&amp;K)</source>
        <translation>글꼴 작게(&amp;K)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Font thick(&amp;B)</source>
        <translation>글꼴 굵게(&amp;B)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Setting font(&amp;S)...</source>
        <translation>글꼴 설정(&amp;S)...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Large caption window</source>
        <translation>자막 영역 크게</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Small caption window</source>
        <translation>자막 영역 작게</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Separate caption window</source>
        <translation>별도 자막 창</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Half Size</source>
        <translation>절반 크기</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normal Size</source>
        <translation>보통 크기</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Double Size</source>
        <translation>두 배 크기</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Full Size</source>
        <translation>전체 화면</translation>
    </message>
    <message>
        <location line="+12"/>
        <source>Keep screen size(&amp;S)</source>
        <translation>화면 크기 유지(&amp;S)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Keep Ratio(&amp;R)</source>
        <translation>화면 비율 유지(&amp;R)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>On Top(&amp;T)</source>
        <translation>항상 위(&amp;T)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Protect Screen Save(&amp;V)</source>
        <translation>화면 보호기 막기(&amp;V)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>E&amp;xit</source>
        <translation>끝내기(&amp;X)</translation>
    </message>
    <message>
        <location line="+42"/>
        <source>Play Control(&amp;P)</source>
        <translation>재생 제어(&amp;P)</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Volume(&amp;V)</source>
        <translation>볼륨(&amp;V)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Caption Control</source>
        <translation>자막 제어</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Filter settings</source>
        <translation>필터 설정</translation>
    </message>
    <message>
        <location line="+31"/>
        <source>Keep screen ratio</source>
        <translation>화면 비율 유지</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Do not keep screen ratio</source>
        <translation>화면 비율 유지 안 함</translation>
    </message>
</context>
<context>
    <name>larkspan::PreferencesDialog</name>
    <message>
        <location filename="../ui/prefs/PreferencesDialog.cpp" line="+53"/>
        <location line="+46"/>
        <source>Preferences</source>
        <translation>환경 설정</translation>
    </message>
    <message>
        <location line="-44"/>
        <source>&amp;Delete recent files</source>
        <translation>최근 파일 목록 지우기(&amp;D)</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>OK</source>
        <translation>확인</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>Browser...</source>
        <translation>찾아보기...</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Overwrite confirmation</source>
        <translation>덮어쓰기 전에 확인</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Allow miltiple instances</source>
        <translation>여러 개 동시 실행 허용</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Repeat</source>
        <translation>반복</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Enable Caption</source>
        <translation>자막 사용</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Default Path :</source>
        <translation>기본 경로 :</translation>
    </message>
    <message>
        <location line="+25"/>
        <source>Max Size</source>
        <translation>최대 크기</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Max Time</source>
        <translation>최대 시간</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>M</source>
        <translation>분</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>S</source>
        <translation>초</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save time info, if live content.</source>
        <translation>실시간 방송이면 시간 정보 저장</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Record</source>
        <translation>녹화</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Windows Media File</source>
        <translation>Windows Media 파일</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Windows Media Audio File</source>
        <translation>Windows Media 오디오 파일</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Windows Media Audio/Video File</source>
        <translation>Windows Media 오디오/비디오 파일</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Windows Media File(.asf, .asx, .wmx )</source>
        <translation>Windows Media 파일(.asf, .asx, .wmx )</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Windows Media Audio File( .wma, .wax )</source>
        <translation>Windows Media 오디오 파일( .wma, .wax )</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Windows Media Audio/Video File(.wmv,wvx)</source>
        <translation>Windows Media 오디오/비디오 파일(.wmv,wvx)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Larkspan Recorder Associations</source>
        <translation>Larkspan Recorder 파일 연결</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Changes along with: %1</source>
        <translation>함께 바뀜: %1</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>These groups share file types on this desktop and change together: %1.</source>
        <translation>이 데스크톱에서는 다음 그룹이 파일 형식을 함께 쓰므로 같이 바뀝니다: %1.</translation>
    </message>
    <message>
        <location line="+28"/>
        <source>File Folder</source>
        <translation>파일 폴더</translation>
    </message>
    <message>
        <location line="+6"/>
        <location line="+59"/>
        <source>Larkspan Recorder</source>
        <translation>Larkspan Recorder</translation>
    </message>
    <message>
        <location line="-59"/>
        <source>Are you sure you want to delete all recent file(url) list?</source>
        <translation>최근 파일(URL) 목록을 모두 지우시겠습니까?</translation>
    </message>
    <message>
        <location line="+56"/>
        <source>The folder &quot;%1&quot; could not be created.</source>
        <translation>폴더 &quot;%1&quot;을(를) 만들 수 없습니다.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The file types could not all be changed: %1</source>
        <translation>파일 형식을 모두 바꾸지는 못했습니다: %1</translation>
    </message>
</context>
<context>
    <name>larkspan::RecordList</name>
    <message>
        <location filename="../ui/recorder/RecordList.cpp" line="+69"/>
        <source>no entries in %1</source>
        <translation>%1에 항목이 없습니다</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>%1 holds more entries than are listed; the first %2 were added</source>
        <translation>%1에 목록에 넣을 수 있는 것보다 많은 항목이 있어 처음 %2개만 추가했습니다</translation>
    </message>
    <message>
        <location line="+60"/>
        <source>The record time &quot;%1&quot; is neither a number of minutes nor hours:minutes.</source>
        <translation>녹화 시간 &quot;%1&quot;은(는) 분 단위 숫자도 아니고 시:분 형식도 아닙니다.</translation>
    </message>
    <message>
        <location line="+81"/>
        <source>Connecting</source>
        <translation>연결 중</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Received Head</source>
        <translation>헤더 받음</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Error</source>
        <translation>오류</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Cancelled</source>
        <translation>취소</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Completed</source>
        <translation>완료</translation>
    </message>
    <message>
        <location line="+79"/>
        <source>Are you sure you want to delete this item ?</source>
        <translation>이 항목을 지우시겠습니까?</translation>
    </message>
</context>
<context>
    <name>larkspan::RecordListModel</name>
    <message>
        <location filename="../ui/recorder/RecordListModel.cpp" line="+19"/>
        <location line="+4"/>
        <source>File</source>
        <translation>파일</translation>
    </message>
    <message>
        <location line="-3"/>
        <source>Time</source>
        <translation>시간</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>KByte</source>
        <translation>KB</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>%</source>
        <translation>%</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Play File</source>
        <translation>재생 파일</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>RecTime</source>
        <translation>녹화 시간</translation>
    </message>
</context>
<context>
    <name>larkspan::RecorderCommands</name>
    <message>
        <location filename="../ui/mainwin/RecorderCommands.cpp" line="+31"/>
        <source>&amp;Recent Files</source>
        <translation>최근 파일(&amp;R)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Open(&amp;O)...</source>
        <translation>열기(&amp;O)...</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>&amp;URL Open</source>
        <translation>URL 열기(&amp;U)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Open Ormo</source>
        <translation>Ormo 열기</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>URL Auto Detect(&amp;H)</source>
        <translation>URL 자동 감지(&amp;H)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Start(&amp;S)</source>
        <translation>시작(&amp;S)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop(&amp;T)</source>
        <translation>중지(&amp;T)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>View Source</source>
        <translation>소스 보기</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Play Control</source>
        <translation>재생 제어</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pause</source>
        <translation>일시 정지</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+3"/>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <location line="-2"/>
        <source>Record Control</source>
        <translation>녹화 제어</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Record</source>
        <translation>녹화</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Repeat</source>
        <translation>반복</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Copy to Clipboard(&amp;C)</source>
        <translation>클립보드로 복사(&amp;C)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save</source>
        <translation>저장</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save As...</source>
        <translation>다른 이름으로 저장...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Brellow HomePage</source>
        <translation>Brellow 홈페이지</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>TV Data</source>
        <translation>TV 자료실</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Music Data</source>
        <translation>음악 자료실</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pembry Data</source>
        <translation>Pembry 자료실</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>&amp;Preferences</source>
        <translation>환경 설정(&amp;P)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Help</source>
        <translation>도움말</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>About(&amp;A)</source>
        <translation>프로그램 정보(&amp;A)</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Exit(&amp;X)</source>
        <translation>끝내기(&amp;X)</translation>
    </message>
</context>
<context>
    <name>larkspan::RecorderWindow</name>
    <message>
        <location filename="../ui/mainwin/RecorderWindow.cpp" line="+47"/>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Pause</source>
        <translation>일시 정지</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Stop</source>
        <translation>정지</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Record Start</source>
        <translation>녹화 시작</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Record Cancel</source>
        <translation>녹화 취소</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Open</source>
        <translation>열기</translation>
    </message>
    <message>
        <location line="+286"/>
        <source>About Larkspan Recorder</source>
        <translation>Larkspan Recorder 정보</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Larkspan Recorder %1
Records and plays Windows Media streams.</source>
        <translation>Larkspan Recorder %1
Windows Media 스트림을 녹화하고 재생합니다.</translation>
    </message>
</context>
<context>
    <name>larkspan::ScreenSaverInhibitor</name>
    <message>
        <location filename="../ui/player/ScreenSaverInhibitor.cpp" line="+39"/>
        <source>Playing video</source>
        <translation>동영상 재생 중</translation>
    </message>
</context>
<context>
    <name>larkspan::SpectrumMeter</name>
    <message>
        <location filename="../ui/skin/SpectrumMeter.cpp" line="+99"/>
        <source>Fast</source>
        <translation>빠르게</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Normal speed</source>
        <translation>보통 속도</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Slow</source>
        <translation>느리게</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Pause</source>
        <translation>일시 정지</translation>
    </message>
</context>
<context>
    <name>larkspan::UrlOpenDialog</name>
    <message>
        <location filename="../ui/mainwin/UrlOpenDialog.cpp" line="+24"/>
        <source>URL OPEN</source>
        <translation>URL 열기</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Input File name or Url</source>
        <translation>파일 이름이나 URL을 입력하십시오</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Play</source>
        <translation>재생</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Record</source>
        <translation>녹화</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Browse(&amp;B)</source>
        <translation>찾아보기(&amp;B)</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>취소</translation>
    </message>
</context>
</TS>
