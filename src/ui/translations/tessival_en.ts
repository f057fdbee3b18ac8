<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja_JP">
<context>
    <name>TCommandLine</name>
    <message>
        <source>tessival: 知らないオプションです: %1
使い方は tessival --help で表示されます。
</source>
        <translation>tessival: unknown option: %1
tessival --help shows how to use it.
</translation>
    </message>
    <message>
        <source>使い方: tessival [オプション] [ファイル… | フォルダ…]
ウェブサイトの色（HTML・CSS・SVG の色、画像の画素）をまるごと塗り替えます。

ファイルやフォルダを指定すると、ファイルのリストに追加して開きます。
フォルダは「フォルダを追加」と同じように検索します（%1）。
写真（%2）はチェックをはずしてリストに入れます。

オプション:
  -h, --help     この説明を表示して終わります
  -v, --version  バージョンを表示して終わります
  --             これより後ろはすべてファイルかフォルダの名前として扱います

画面を使わずに変換するには tessival-batch を使ってください。
</source>
        <translation>Usage: tessival [OPTION]... [FILE... | FOLDER...]
Recolours a whole web site (the colours of HTML, CSS and SVG, the pixels of its pictures).

The files and folders named are added to the file list.
A folder is searched as &quot;Add Folder&quot; does (%1).
Photos (%2) are listed unchecked.

Options:
  -h, --help     show this help and exit
  -v, --version  show the version and exit
  --             take everything after this as names of files or folders

The texts are English unless the locale (LC_ALL, LC_MESSAGES, LANG) is Japanese,
C, POSIX or not set: then they are Japanese.
To convert without a display, use tessival-batch.
</translation>
    </message>
</context>
<context>
    <name>TFileList</name>
    <message>
        <source>ファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>フルパス</source>
        <translation>Full path</translation>
    </message>
</context>
<context>
    <name>TfrmBackup</name>
    <message>
        <source>バックアップ復元/消去</source>
        <translation>Restore/Delete Backups</translation>
    </message>
    <message>
        <source>ファイルからリストに追加</source>
        <translation>Add files to the list</translation>
    </message>
    <message>
        <source>フォルダからリストに追加</source>
        <translation>Add a folder to the list</translation>
    </message>
    <message>
        <source>選択したファイルを消す</source>
        <translation>Remove the selected files from the list</translation>
    </message>
    <message>
        <source>リストをクリアする</source>
        <translation>Clear the list</translation>
    </message>
    <message>
        <source>ファイル名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>フルパス</source>
        <translation>Full path</translation>
    </message>
    <message>
        <source>更新日時</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>バックアップファイルの一覧</source>
        <translation>Backup files</translation>
    </message>
    <message>
        <source>フォルダを開くときサブフォルダも検索(&amp;F)</source>
        <translation>Also search sub&amp;folders</translation>
    </message>
    <message>
        <source>復元(&amp;R)</source>
        <translation>&amp;Restore</translation>
    </message>
    <message>
        <source>消去(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>閉じる(&amp;X)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>フォルダを開くときサブフォルダも検索</source>
        <translation>Also search subfolders</translation>
    </message>
    <message>
        <source>復元</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>消去</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>バックアップファイル(*.bak)</source>
        <translation>Backup files (*.bak)</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>色置換の実行中はバックアップの復元・消去はできません。
実行が終わってからもう一度お試しください。</source>
        <translation>Backups cannot be restored or deleted while colours are being converted.
Try again when the conversion has finished.</translation>
    </message>
</context>
<context>
    <name>TfrmBatch</name>
    <message>
        <source>実行</source>
        <translation>Conversion</translation>
    </message>
    <message>
        <source>進み具合</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>変換したファイルの数</source>
        <translation>Files converted</translation>
    </message>
    <message>
        <source>変換の記録</source>
        <translation>Conversion log</translation>
    </message>
    <message>
        <source>クリップボードへ</source>
        <translation>Copy to Clipboard</translation>
    </message>
    <message>
        <source>中止(&amp;C)</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>変換中のファイルを終えたところで止めます。残りのファイルは変換しません。</source>
        <translation>Stops once the files being converted are done. The remaining files are not converted.</translation>
    </message>
    <message>
        <source>失敗のみ表示(&amp;F)</source>
        <translation>Show &amp;failures only</translation>
    </message>
    <message>
        <source>記録をクリップボードへ</source>
        <translation>Copy the log to the clipboard</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>失敗のみ表示</source>
        <translation>Show failures only</translation>
    </message>
</context>
<context>
    <name>TfrmColourPair</name>
    <message>
        <source>「%1」は色として読めません。
16進数（例：FF8000、#F80）か色の名前（例：red）を入力してください。</source>
        <translation>&quot;%1&quot; cannot be read as a colour.
Type hexadecimal digits (say FF8000 or #F80) or a colour name (say red).</translation>
    </message>
    <message>
        <source>あり</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>No</translation>
    </message>
    <message>
        <source>特定色置換</source>
        <translation>Specific Colour</translation>
    </message>
    <message>
        <source>カラーバーでの調整もする</source>
        <translation>Also shift it with the colour bars</translation>
    </message>
    <message>
        <source>入力の誤り</source>
        <translation>Input error</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>変更対象の色(&amp;B)</source>
        <translation>&amp;Replace this colour</translation>
    </message>
    <message>
        <source>変更先の色(&amp;A)</source>
        <translation>&amp;With this colour</translation>
    </message>
    <message>
        <source>変更対象の色（16進数か色の名前）</source>
        <translation>Colour to replace (hexadecimal or a colour name)</translation>
    </message>
    <message>
        <source>変更先の色（16進数か色の名前）</source>
        <translation>Replacement colour (hexadecimal or a colour name)</translation>
    </message>
    <message>
        <source>入力</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>変更対象の色を入力</source>
        <translation>Apply the colour to replace</translation>
    </message>
    <message>
        <source>変更先の色を入力</source>
        <translation>Apply the replacement colour</translation>
    </message>
    <message>
        <source>変更対象の色のスポイト</source>
        <translation>Eyedropper for the colour to replace</translation>
    </message>
    <message>
        <source>変更先の色のスポイト</source>
        <translation>Eyedropper for the replacement colour</translation>
    </message>
    <message>
        <source>変更対象の色の見本</source>
        <translation>Swatch of the colour to replace</translation>
    </message>
    <message>
        <source>変更先の色の見本</source>
        <translation>Swatch of the replacement colour</translation>
    </message>
    <message>
        <source>ここでマウスボタンを押しっぱなしにし，
色を取得したいところでボタンを離してください．
スポイトツールになります．

また，左の色がついてるパネルをクリックすると色選択ダイアログが出ます．</source>
        <translation>This is the eyedropper: press and hold the mouse button here,
then release it over the colour you want to pick up.

To choose a colour from a dialog, click the coloured panel on the left.</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>色置換実行(&amp;O)...</source>
        <translation>C&amp;onvert Colours...</translation>
    </message>
    <message>
        <source>色置換実行</source>
        <translation>Convert colours</translation>
    </message>
    <message>
        <source>変換するファイルの一覧</source>
        <translation>Files to convert</translation>
    </message>
    <message>
        <source>ファイルからリストに追加</source>
        <translation>Add files to the list</translation>
    </message>
    <message>
        <source>フォルダからリストに追加</source>
        <translation>Add a folder to the list</translation>
    </message>
    <message>
        <source>選択したファイルを消す</source>
        <translation>Remove the selected files from the list</translation>
    </message>
    <message>
        <source>全てチェックする</source>
        <translation>Check all</translation>
    </message>
    <message>
        <source>すべてのチェックをはずす</source>
        <translation>Uncheck all</translation>
    </message>
    <message>
        <source>指定した拡張子をチェックする</source>
        <translation>Check the files with a given extension</translation>
    </message>
    <message>
        <source>プレビュー画面を開く</source>
        <translation>Open the preview</translation>
    </message>
    <message>
        <source>リストをクリアする</source>
        <translation>Clear the list</translation>
    </message>
    <message>
        <source>css をチェック(&amp;C)</source>
        <translation>Check &amp;CSS</translation>
    </message>
    <message>
        <source>png をチェック(&amp;P)</source>
        <translation>Check &amp;PNG</translation>
    </message>
    <message>
        <source>gif をチェック(&amp;G)</source>
        <translation>Check &amp;GIF</translation>
    </message>
    <message>
        <source>htmlをチェック(&amp;H)</source>
        <translation>Check &amp;HTML</translation>
    </message>
    <message>
        <source>色の調節(&amp;A)</source>
        <translation>&amp;Adjust Colours</translation>
    </message>
    <message>
        <source>%1の値</source>
        <translation>%1 value</translation>
    </message>
    <message>
        <source>色相</source>
        <translation>Hue</translation>
    </message>
    <message>
        <source>彩度</source>
        <translation>Saturation</translation>
    </message>
    <message>
        <source>明度</source>
        <translation>Brightness</translation>
    </message>
    <message>
        <source>特定色変更(&amp;C)</source>
        <translation>Spe&amp;cific Colours</translation>
    </message>
    <message>
        <source>調整</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>この色を</source>
        <translation>From</translation>
    </message>
    <message>
        <source>この色に</source>
        <translation>To</translation>
    </message>
    <message>
        <source>特定色の一覧</source>
        <translation>Specific colours</translation>
    </message>
    <message>
        <source>追加(&amp;P)...</source>
        <translation>Add &amp;Pair...</translation>
    </message>
    <message>
        <source>消す(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>特定色を追加</source>
        <translation>Add a specific colour</translation>
    </message>
    <message>
        <source>選択した特定色を消す</source>
        <translation>Delete the selected specific colours</translation>
    </message>
    <message>
        <source>設定(&amp;S)</source>
        <translation>&amp;Settings</translation>
    </message>
    <message>
        <source>バックアップファイルをつくる(&amp;B)</source>
        <translation>Make &amp;backup files</translation>
    </message>
    <message>
        <source>フォルダを開くときサブフォルダも検索(&amp;U)</source>
        <translation>Also search s&amp;ubfolders</translation>
    </message>
    <message>
        <source>透過GIF対応（透過は常に保ちます・互換用）(&amp;G)</source>
        <translation>&amp;GIF transparency (always kept; for compatibility)</translation>
    </message>
    <message>
        <source>GIF の透明な画素（透過色のインデックスの画素）は、この項目にかかわらず透明のまま残り、ほかの画素が透明になることはありません。
この項目は以前の設定との互換のために残してあり、変換の結果は変わりません。</source>
        <translation>A GIF&apos;s transparent pixels (those of the transparent colour&apos;s index) stay transparent whatever this setting, and no other pixel becomes transparent.
The setting is kept for compatibility with earlier settings and does not change the result.</translation>
    </message>
    <message>
        <source>バックアップファイルをつくる</source>
        <translation>Make backup files</translation>
    </message>
    <message>
        <source>フォルダを開くときサブフォルダも検索</source>
        <translation>Also search subfolders</translation>
    </message>
    <message>
        <source>透過GIF対応</source>
        <translation>GIF transparency</translation>
    </message>
    <message>
        <source>プレビューの更新時間[秒]:</source>
        <translation>Preview refresh time [s]:</translation>
    </message>
    <message>
        <source>プレビューの更新時間（秒）</source>
        <translation>Preview refresh time (seconds)</translation>
    </message>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>ファイルを追加(&amp;F)...</source>
        <translation>Add &amp;Files...</translation>
    </message>
    <message>
        <source>フォルダを追加(&amp;O)...</source>
        <translation>Add F&amp;older...</translation>
    </message>
    <message>
        <source>ファイルリストをクリア(&amp;C)</source>
        <translation>&amp;Clear File List</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>編集(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>URLでプレビュー(&amp;U)...</source>
        <translation>Preview a &amp;URL...</translation>
    </message>
    <message>
        <source>バックアップの復元/消去(&amp;B)...</source>
        <translation>Restore/Delete &amp;Backups...</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Readme(&amp;R)</source>
        <translation>&amp;Readme</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)...</source>
        <translation>&amp;About Tessival...</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Open Folder</translation>
    </message>
    <message numerus="yes">
        <source>チェックした %n 個のファイルの色を変換します。
</source>
        <translation>
            <numerusform>The colours of the %n checked file will be converted.
</numerusform>
            <numerusform>The colours of the %n checked files will be converted.
</numerusform>
        </translation>
    </message>
    <message>
        <source>バックアップ：つくる（元のファイルは「.bak」を付けた名前で残ります）
</source>
        <translation>Backups: yes (each original file is kept, with &quot;.bak&quot; added to its name)
</translation>
    </message>
    <message>
        <source>バックアップ：つくらない（元のファイルは残りません）
</source>
        <translation>Backups: no (the original files are not kept)
</translation>
    </message>
    <message>
        <source>
実行しますか？</source>
        <translation>
Convert now?</translation>
    </message>
    <message>
        <source>変換するファイルがありません。
リストにファイルを追加し、変換するファイルにチェックを付けてください。</source>
        <translation>There is no file to convert.
Add files to the list and check the ones to convert.</translation>
    </message>
    <message>
        <source>バックアップの復元・消去の実行中は色置換を実行できません。</source>
        <translation>Colours cannot be converted while backups are being restored or deleted.</translation>
    </message>
    <message>
        <source>Readme（readme.txt）が見つかりません。
プログラムのフォルダか share/doc/tessival に置いてください。</source>
        <translation>The readme (readme.txt) cannot be found.
Put it in the program&apos;s folder or in share/doc/tessival.</translation>
    </message>
    <message>
        <source>Readme を開けませんでした。
%1
テキストを開くアプリケーションが設定されているか確かめてください。</source>
        <translation>The readme could not be opened.
%1
Check that an application is set to open text files.</translation>
    </message>
    <message>
        <source>テキストエディタを開けませんでした。
%1
既定のテキストエディタを設定するか、環境変数 VISUAL か EDITOR にエディタを指定してください。</source>
        <translation>No text editor could be opened.
%1
Set a default text editor, or name one in the environment variable VISUAL or EDITOR.</translation>
    </message>
    <message>
        <source>ウェブサイトの色をまるごと塗り替えるツール
</source>
        <translation>Recolours a whole web site
</translation>
    </message>
    <message>
        <source>Tessival 開発チーム</source>
        <translation>The Tessival developers</translation>
    </message>
    <message>
        <source>バージョン情報</source>
        <translation>About Tessival</translation>
    </message>
    <message>
        <source>svg をチェック(&amp;S)</source>
        <translation>Check &amp;SVG</translation>
    </message>
    <message>
        <source>jpeg をチェック(&amp;J)</source>
        <translation>Check &amp;JPEG</translation>
    </message>
    <message>
        <source>webp をチェック(&amp;W)</source>
        <translation>Check &amp;WebP</translation>
    </message>
    <message>
        <source>変更可能ファイル(%1)</source>
        <translation>Convertible files (%1)</translation>
    </message>
    <message numerus="yes">
        <source>写真（JPEG・WebP）：%n 個（保存するたびに画質が少し落ちます）
</source>
        <translation>
            <numerusform>Photos (JPEG, WebP): %n (each save costs a little quality)
</numerusform>
            <numerusform>Photos (JPEG, WebP): %n (each save costs a little quality)
</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TfrmPreview</name>
    <message>
        <source>プレビュー</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>変換前のページ</source>
        <translation>Page before the conversion</translation>
    </message>
    <message>
        <source>変換後の表示</source>
        <translation>After the conversion</translation>
    </message>
</context>
<context>
    <name>TfrmUrlView</name>
    <message>
        <source>URLでプレビュー</source>
        <translation>Preview a URL</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>プレビューするURL</source>
        <translation>URL to preview</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>tessival: 画面（ディスプレイ）がありません。DISPLAY か WAYLAND_DISPLAY が設定されていません。
画面を使わずに変換するには tessival-batch を使ってください。
</source>
        <translation>tessival: there is no display: neither DISPLAY nor WAYLAND_DISPLAY is set.
To convert without a display, use tessival-batch.
</translation>
    </message>
    <message>
        <source>tessival: ディスプレイ %1 に接続できません
</source>
        <translation>tessival: cannot connect to display %1
</translation>
    </message>
</context>
</TS>
