<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TRowSizeFormatter</name>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
</context>
<context>
    <name>TWatchNotice</name>
    <message>
        <source>监控数量已达系统上限 (fs.inotify.max_user_watches)，部分文件夹未被监控，首个为: </source>
        <translation>The system&apos;s watch limit is reached (fs.inotify.max_user_watches); some folders are not watched, the first is: </translation>
    </message>
    <message>
        <source>监控实例数量已达系统上限 (fs.inotify.max_user_instances)，无法监控: </source>
        <translation>The system&apos;s limit of watch instances is reached (fs.inotify.max_user_instances); cannot watch: </translation>
    </message>
    <message>
        <source>监控事件队列溢出 (fs.inotify.max_queued_events)，部分修改未被报告: </source>
        <translation>The watch event queue overflowed (fs.inotify.max_queued_events); some changes were not reported: </translation>
    </message>
    <message>
        <source>无法监控文件夹: </source>
        <translation>Cannot watch the folder: </translation>
    </message>
    <message>
        <source>无法启动监控: </source>
        <translation>Cannot start watching: </translation>
    </message>
    <message>
        <source>监控事件队列溢出 (%1)，已重新扫描近期修改的文件: </source>
        <translation>The watch event queue overflowed (%1); recently modified files were scanned again: </translation>
    </message>
    <message>
        <source>使用 inotify 监控 (无法使用 fanotify: %1): </source>
        <translation>Watching with inotify (fanotify cannot be used: %1): </translation>
    </message>
</context>
<context>
    <name>pw::MainForm</name>
    <message>
        <source>选择文件夹</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>正在清理不能进行排序操作.</source>
        <translation>The list cannot be sorted while the search runs.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>没有可以清理的文件~</source>
        <translation>There are no files to clean.</translation>
    </message>
    <message>
        <source>木马清理完毕</source>
        <translation>Cleaning finished</translation>
    </message>
    <message>
        <source>开始监控</source>
        <translation>Start watch</translation>
    </message>
    <message>
        <source>停止监控</source>
        <translation>Stop watch</translation>
    </message>
    <message>
        <source>Pagewarden 使用说明

一、搜索
1. “文件后缀”：要检查的网页文件，多个后缀用分号隔开，例如 *.html;*.php。
2. “网页木马关键词”：攻击者插入的代码里的特征文字，通常是攻击者的域名。只有内容包含关键词的文件才会列出；关键词为空时，列出所有名称符合后缀的文件和文件夹。
3. “正则匹配规则”：划定一段被插入的代码。默认规则匹配 &lt;iframe&gt;…&lt;/iframe&gt;、&lt;script&gt;…&lt;/script&gt; 和用方括号写的 [iframe]…[/iframe]，标签名不区分大小写。
4. “搜索监控路径”：网站的根目录，可用“浏览...”选择；多个目录用分号隔开。
5. 按“搜索”（回车）开始，按“停止”（Esc）中止。找到的文件列在下方：点击列标题排序（再点一次倒序），双击一行用系统默认程序打开该文件。
6. “高级”页按创建、修改或访问时间和文件大小（KB，0 表示不限）缩小范围。只勾选日期表示整天，只勾选时间表示每天的这个时刻，两个都勾选表示那一天的那个时刻。

二、清理
“清理木马”逐个清理列表中的文件：换行统一为 CR LF，删除每段符合规则并包含关键词的代码，连同它后面的换行。

三、监控
“开始监控”后，搜索监控路径及其子目录中被修改的文件记在“监控日志”页并自动清理；再按一次停止监控。没有搜索时按 Esc 也可以开始或停止监控。

四、设置
关键词和搜索路径在每次搜索时保存（去掉首尾空白），下次启动时恢复。

修改记录
0.1.0  Linux 版：Qt 界面，PCRE2 正则表达式，设置保存在 .reg 格式的文件中。
</source>
        <translation>Pagewarden: how to use it

1. Search
1. &quot;File masks&quot;: the web files to check, several masks separated by semicolons, for example *.html;*.php.
2. &quot;Attack keyword&quot;: a text the attacker&apos;s injected code holds, usually the attacker&apos;s domain name. Only files holding the keyword are listed; with an empty keyword every file and folder whose name matches the masks is listed.
3. &quot;Matching rule&quot;: marks out one piece of injected code. The default rule matches &lt;iframe&gt;...&lt;/iframe&gt;, &lt;script&gt;...&lt;/script&gt; and [iframe]...[/iframe] written with square brackets, tag names in any case.
4. &quot;Folder path&quot;: the site&apos;s root folder, which &quot;Browse...&quot; can choose; several folders separated by semicolons.
5. Press &quot;Search&quot; (Enter) to start and &quot;Stop&quot; (Esc) to stop. The files found are listed below: click a column header to sort (again to reverse), double-click a row to open the file with the system&apos;s default program.
6. The &quot;Advanced&quot; page narrows the search by creation, modification or access time and by size (KB, 0 means no bound). A day alone means the whole day, a time alone means that time of every day, both mean that time on that day.

2. Clean
&quot;Clean files&quot; cleans the listed files one after the other: line breaks become CR LF, and every piece of code that matches the rule and holds the keyword is removed, with the line break after it.

3. Watch
After &quot;Start watch&quot;, every file modified under the folder path and its subfolders is noted on the &quot;Watch log&quot; page and cleaned at once; press the button again to stop. With no search running, Esc also starts or stops watching.

4. Settings
The keyword and the folder path are saved at each search (without leading and trailing blanks) and restored at the next start.

Changes
0.1.0  Linux version: Qt window, PCRE2 regular expressions, settings kept in a .reg file.
</translation>
    </message>
    <message>
        <source>搜索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>使用线程搜索</source>
        <translation>Use a thread</translation>
    </message>
    <message>
        <source>清理木马</source>
        <translation>Clean files</translation>
    </message>
    <message>
        <source>          奥运加油，中国加油</source>
        <translation>          Go Olympics, go China</translation>
    </message>
    <message>
        <source> 清理 </source>
        <translation> Clean </translation>
    </message>
    <message>
        <source>文件后缀</source>
        <translation>File masks</translation>
    </message>
    <message>
        <source>网页木马关键词</source>
        <translation>Attack keyword</translation>
    </message>
    <message>
        <source>全字匹配</source>
        <translation>Full word</translation>
    </message>
    <message>
        <source>不区分大小写</source>
        <translation>Ignore case</translation>
    </message>
    <message>
        <source>搜索监控路径</source>
        <translation>Folder path</translation>
    </message>
    <message>
        <source>包含子目录</source>
        <translation>With subfolders</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>正则匹配规则</source>
        <translation>Matching rule</translation>
    </message>
    <message>
        <source> 高级 </source>
        <translation> Advanced </translation>
    </message>
    <message>
        <source> 查找文件</source>
        <translation> Find files by time</translation>
    </message>
    <message>
        <source>创建</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>访问</source>
        <translation>Accessed</translation>
    </message>
    <message>
        <source>开始日期:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>开始时间:</source>
        <translation>Start at:</translation>
    </message>
    <message>
        <source>结束日期:</source>
        <translation>End:</translation>
    </message>
    <message>
        <source>结束时间:</source>
        <translation>End at:</translation>
    </message>
    <message>
        <source> 文件大小</source>
        <translation> File size</translation>
    </message>
    <message>
        <source>最小:</source>
        <translation>Min:</translation>
    </message>
    <message>
        <source>最大:</source>
        <translation>Max:</translation>
    </message>
    <message>
        <source> 文件属性 </source>
        <translation> File attributes </translation>
    </message>
    <message>
        <source> 监控日志 </source>
        <translation> Watch log </translation>
    </message>
    <message>
        <source> 说明 </source>
        <translation> Help </translation>
    </message>
    <message>
        <source>正在停止, 请稍候...</source>
        <translation>Stopping, please wait...</translation>
    </message>
    <message>
        <source>搜索已停止 - </source>
        <translation>Search stopped - </translation>
    </message>
    <message>
        <source>规则超出匹配限制，有一行未清理</source>
        <translation>the rule ran out of matching limits; a line was left uncleaned</translation>
    </message>
    <message>
        <source>文件已不存在</source>
        <translation>the file no longer exists</translation>
    </message>
    <message>
        <source>符号链接</source>
        <translation>symbolic link</translation>
    </message>
    <message>
        <source>不是普通文件</source>
        <translation>not a regular file</translation>
    </message>
    <message>
        <source>只读文件</source>
        <translation>read-only file</translation>
    </message>
    <message>
        <source>没有读写权限</source>
        <translation>no permission to read or write it</translation>
    </message>
    <message>
        <source>文件过大</source>
        <translation>file too large</translation>
    </message>
    <message>
        <source>清理时被其他程序修改</source>
        <translation>changed by another program while being cleaned</translation>
    </message>
    <message>
        <source>路径中有符号链接或不在搜索路径下</source>
        <translation>a symbolic link on its path, or outside the search path</translation>
    </message>
    <message>
        <source>无法保留文件所有者</source>
        <translation>its owner could not be kept</translation>
    </message>
    <message>
        <source>无法写入</source>
        <translation>could not be written</translation>
    </message>
    <message>
        <source>无法清理</source>
        <translation>could not be cleaned</translation>
    </message>
    <message>
        <source>正则匹配规则为空</source>
        <translation>The rule is empty</translation>
    </message>
    <message>
        <source>正则匹配规则无效（位置 %1）: %2</source>
        <translation>Invalid rule (at offset %1): %2</translation>
    </message>
    <message>
        <source>，未开始清理</source>
        <translation>, nothing cleaned</translation>
    </message>
    <message>
        <source>未清理（%1）: %2</source>
        <translation>Not cleaned (%1): %2</translation>
    </message>
    <message>
        <source>，%1 个文件未清理（原因见监控日志）</source>
        <translation>, %1 file(s) not cleaned (see the monitoring log for why)</translation>
    </message>
    <message>
        <source>监控路径不存在或不是文件夹: %1</source>
        <translation>The folder to monitor does not exist or is not a folder: %1</translation>
    </message>
    <message>
        <source>正在清理木马。关闭窗口会在当前文件清理完后停止，列表中其余的文件保持原样。确定关闭吗？</source>
        <translation>Cleaning is running. Closing the window stops it after the file being cleaned; the rest of the list is left as it is. Close anyway?</translation>
    </message>
    <message>
        <source>二进制文件</source>
        <translation>binary file</translation>
    </message>
    <message>
        <source>无法备份</source>
        <translation>could not be backed up</translation>
    </message>
</context>
<context>
    <name>pw::TFoundFilesModel</name>
    <message>
        <source>文件名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>路径</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
</context>
<context>
    <name>pw::TMonitorCleaning</name>
    <message>
        <source>文件修改: </source>
        <translation>File modified: </translation>
    </message>
    <message>
        <source>无法启动清理线程: </source>
        <translation>Cannot start the cleaning thread: </translation>
    </message>
    <message>
        <source>正则匹配规则为空，未清理 %1</source>
        <translation>The rule is empty, not cleaned: %1</translation>
    </message>
    <message>
        <source>正则匹配规则无效（位置 %1）: %2，未清理 %3</source>
        <translation>Invalid rule (at offset %1): %2, not cleaned: %3</translation>
    </message>
    <message>
        <source>已从崩溃留下的副本恢复原文件: </source>
        <translation>Original bytes put back from a crash&apos;s copy: </translation>
    </message>
    <message>
        <source>保留崩溃留下的原文件副本: </source>
        <translation>Kept a crash&apos;s copy of original bytes: </translation>
    </message>
    <message>
        <source>无法备份，未清理 </source>
        <translation>Backup failed, not cleaned: </translation>
    </message>
</context>
</TS>
