<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Tool</name>
    <message>
        <location filename="../tongxunlu-db.cpp" line="133"/>
        <source>Show this help and exit.</source>
        <translation>显示本帮助后退出。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="151"/>
        <source>Try &apos;%1 --help&apos;.</source>
        <translation>请试试“%1 --help”。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="166"/>
        <source>Too few arguments.</source>
        <translation>参数太少。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="168"/>
        <location filename="../tongxunlu-db.cpp" line="883"/>
        <location filename="../tongxunlu-db.cpp" line="886"/>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>多余的参数“%1”。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="197"/>
        <source>Wrong password.</source>
        <translation>密码不对。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="205"/>
        <location filename="../tongxunlu-db.cpp" line="584"/>
        <location filename="../tongxunlu-db.cpp" line="614"/>
        <location filename="../tongxunlu-db.cpp" line="681"/>
        <source>Password of the contacts file: </source>
        <translation>联系人文件的密码：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="215"/>
        <source>The file has a password of its own and there is no terminal to ask for it on; give it with --stdin</source>
        <translation>这个文件有自己的密码，但没有终端可以询问密码；请用 --stdin 给出</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="217"/>
        <source>Not a valid password</source>
        <translation>密码无效</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="224"/>
        <source>Read the passwords from standard input, one per line, instead of the terminal: the current one (only when needed; one try), then for passwd the new one twice.</source>
        <translation>从标准输入读密码，每行一个，而不是在终端上询问：先是当前的密码（只在需要时；只试一次），passwd 再读两遍新密码。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="232"/>
        <source>The program&apos;s working folder (default: the current folder); the contacts file is DIR/DataBase/data_txl.mdb.</source>
        <translation>程序的工作文件夹（默认：当前文件夹）；联系人文件是 DIR/DataBase/data_txl.mdb。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="242"/>
        <source>Makes the password-protected contacts file with its table &quot;data&quot; and, with --sample N, N sample contacts (the same N gives the same contacts). It has the built-in password. An existing file is never touched: the tool refuses.</source>
        <translation>建立有密码保护的联系人文件及其表“data”；用 --sample N 时再加 N 个示例联系人（同样的 N 得到同样的联系人）。文件用内置密码。已有的文件决不改动：工具会拒绝。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="247"/>
        <source>Fill the new file with N sample contacts (0 to 10000000).</source>
        <translation>在新文件中放入 N 个示例联系人（0 到 10000000）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="255"/>
        <source>--sample takes a whole number from 0 to 10000000.</source>
        <translation>--sample 需要 0 到 10000000 之间的整数。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="260"/>
        <source>The file &apos;%1&apos; exists already; it is left as it is</source>
        <translation>文件“%1”已经存在；保持原样</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="268"/>
        <source>Made %1 with %2 contacts in %3 ms.</source>
        <translation>已建立 %1，含 %2 个联系人，用时 %3 毫秒。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="288"/>
        <source>Give the file the built-in password again.</source>
        <translation>让文件重新使用内置密码。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="290"/>
        <source>With --stdin: take a password of fewer than 8 characters or of digits only (on a terminal the tool asks instead).</source>
        <translation>与 --stdin 一起用：接受少于 8 个字符或只有数字的密码（在终端上工具会先询问）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="310"/>
        <source>There is no terminal to ask for the new password on; give it with --stdin</source>
        <translation>没有终端可以询问新密码；请用 --stdin 给出</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="312"/>
        <source>New password: </source>
        <translation>新密码：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="313"/>
        <source>The new password again: </source>
        <translation>再输入一遍新密码：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="317"/>
        <source>The new password was not given twice; nothing was changed</source>
        <translation>新密码没有输入两遍；什么也没有更改</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="319"/>
        <source>The new password is empty; nothing was changed</source>
        <translation>新密码为空；什么也没有更改</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="321"/>
        <source>The two new passwords differ; nothing was changed</source>
        <translation>两遍新密码不同；什么也没有更改</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="323"/>
        <source>The new password was not confirmed; nothing was changed</source>
        <translation>新密码没有得到确认；什么也没有改</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="326"/>
        <source>%1; the password was not changed</source>
        <translation>%1；密码没有改</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="269"/>
        <source>It has the built-in password: anyone who has the file can read it. Give it your own with: tongxunlu-db passwd %1</source>
        <translation>它用的是内置密码：任何拿到这个文件的人都能读它。用下面的命令给它设置自己的密码：tongxunlu-db passwd %1</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="280"/>
        <source>Gives the contacts file a password of its owner&apos;s own. The tool asks for the current password (only when the built-in one does not open the file), then for the new one twice; nothing typed is shown. An empty new password, or two that differ, change nothing. The change is made in one transaction: if it is interrupted, even by a crash, the file opens with the old password or the new one. The program then asks for the password when it starts. A file with the built-in password is readable by anyone who has it: run passwd after the first start. The file is made readable by its owner only (0600).</source>
        <translation>给联系人文件设置主人自己的密码。工具先询问当前的密码（只在内置密码打不开文件时），再询问两遍新密码；输入的内容都不显示。新密码为空或两遍不同时，什么也不改。更改在一个事务中完成：即使中途中断甚至崩溃，文件也能用旧密码或新密码打开。之后程序启动时会询问密码。用内置密码的文件，任何拿到它的人都能读：第一次启动后就运行 passwd。文件改为只有主人可读（0600）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="333"/>
        <source>could not make %1 readable by its owner only.</source>
        <translation>无法把 %1 改为只有主人可读。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="341"/>
        <source>%1 has the built-in password again: anyone who has the file can read it.</source>
        <translation>%1 已重新使用内置密码：任何拿到这个文件的人都能读它。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="343"/>
        <source>Changed the password of %1.</source>
        <translation>已更改 %1 的密码。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="351"/>
        <source>Adds the contacts of a vCard (2.1, 3.0, 4.0) or CSV file, told apart by the content. Chinese text in UTF-8, UTF-16, GBK/GB18030, GB2312, Big5 or UTF-7 (as the file declares or as found) is read. Records without a name, with a name already stored or given twice, with a name longer than 11 bytes or with a control character (other than tab) are skipped, each with its line and reason; a mobile or QQ longer than 11 bytes is left out of its contact and listed. Only regular files are read. All accepted contacts are stored in one transaction: on any error nothing is stored.</source>
        <translation>添加 vCard（2.1、3.0、4.0）或 CSV 文件中的联系人，按内容区分格式。能读 UTF-8、UTF-16、GBK/GB18030、GB2312、Big5 或 UTF-7 的中文（按文件声明或自动识别）。没有姓名、姓名已存在或重复出现、姓名超过 11 个字节或含有控制字符（制表符除外）的记录被跳过，并列出各自的行号和原因；超过 11 个字节的手机或 QQ 号码不导入，联系人照常导入并列出。只读普通文件。接受的联系人在一个事务中保存：出任何错都不保存。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="360"/>
        <source>Report what the import would do without writing.</source>
        <translation>只报告导入的结果，不写入。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="362"/>
        <source>The vCard or CSV file to read.</source>
        <translation>要读的 vCard 或 CSV 文件。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="387"/>
        <location filename="../SyncCommands.cpp" line="162"/>
        <source>Dry run, nothing was written:</source>
        <translation>试运行，没有写入：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="391"/>
        <location filename="../tongxunlu-db.cpp" line="454"/>
        <source>(%1 ms)</source>
        <translation>（%1 毫秒）</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="399"/>
        <source>Writes every contact as vCard 3.0 (UTF-8) or as CSV with a Chinese header row (UTF-8 with a byte-order mark, or GBK with --encoding gbk). The format defaults to CSV for a .csv or .txt FILE, else vCard.</source>
        <translation>把所有联系人写成 vCard 3.0（UTF-8）或带中文标题行的 CSV（带字节顺序标记的 UTF-8，用 --encoding gbk 时为 GBK）。FILE 以 .csv 或 .txt 结尾时默认为 CSV，否则为 vCard。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="404"/>
        <source>The format of the file: vcard or csv.</source>
        <translation>文件格式：vcard 或 csv。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="406"/>
        <source>The encoding of a CSV file: utf-8 (the default) or gbk.</source>
        <translation>CSV 文件的编码：utf-8（默认）或 gbk。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="409"/>
        <source>The file to write; an existing one is replaced whole, only when it is empty or text and never the contacts file or a backup of it.</source>
        <translation>要写的文件；已有的文件被整个替换，但只替换空文件或文本文件，绝不替换通讯录的数据文件或它的备份。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="427"/>
        <source>--format takes vcard or csv.</source>
        <translation>--format 需要 vcard 或 csv。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="435"/>
        <source>--encoding takes utf-8 or gbk.</source>
        <translation>--encoding 需要 utf-8 或 gbk。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="438"/>
        <source>vCard files are always written in UTF-8; --encoding gbk is for CSV only.</source>
        <translation>vCard 文件总是以 UTF-8 写出；--encoding gbk 只用于 CSV。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="447"/>
        <source>Exported %1 contacts to %2</source>
        <translation>导出 %1 条到 %2</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="472"/>
        <source>1 second</source>
        <translation>1 秒</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="472"/>
        <source>%1 seconds</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="474"/>
        <source>1 minute</source>
        <translation>1 分钟</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="474"/>
        <source>%1 minutes</source>
        <translation>%1 分钟</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="476"/>
        <source>1 hour</source>
        <translation>1 小时</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="476"/>
        <source>%1 hours</source>
        <translation>%1 小时</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="478"/>
        <source>1 day</source>
        <translation>1 天</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="478"/>
        <source>%1 days</source>
        <translation>%1 天</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="481"/>
        <source>more than a million years</source>
        <translation>一百万年以上</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="482"/>
        <source>1 year</source>
        <translation>1 年</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="482"/>
        <source>%1 years</source>
        <translation>%1 年</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="510"/>
        <source>Warning: this password is %1. The file allows about %2 guesses a second per processor core, so all %3 passwords of this kind are tried in about %4 on one core, %5 on a computer with %6 cores. A longer password of letters and digits holds out far longer.</source>
        <translation>警告：这个密码%1。这个文件每个处理器核心每秒大约能被试 %2 次密码，所以这一类的全部 %3 个密码，一个核心大约 %4就能试完，%6 核的计算机只要 %5。由字母和数字组成的更长的密码能撑久得多。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="513"/>
        <source>of digits only</source>
        <translation>只有数字</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="513"/>
        <source>of fewer than 8 characters</source>
        <translation>少于 8 个字符</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="528"/>
        <source>Give --accept-weak to use it anyway.</source>
        <translation>如果仍要使用它，请加 --accept-weak。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="532"/>
        <source>Use it anyway? Type yes to confirm: </source>
        <translation>仍要使用吗？输入 yes 确认：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="533"/>
        <source>yes</source>
        <translation>yes</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="540"/>
        <source>Backed up the contacts file as %1.</source>
        <translation>已把联系人文件备份为 %1。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="543"/>
        <source>Could not back up the contacts file first: %1</source>
        <translation>无法先备份联系人文件：%1</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="558"/>
        <source>Copies the contacts file into DIR/DataBase/backups/ as data_txl-YYYY-MM-DD-HHMMSS.mdb (local time): the same bytes, so the same password opens it. The copy is synced to disk and read back whole (PRAGMA quick_check) before it is named; files are readable by their owner only. The newest 10 are kept. The tool and the program also make one by themselves before an import, a password change and a restore.</source>
        <translation>把联系人文件复制到 DIR/DataBase/backups/，名为 data_txl-YYYY-MM-DD-HHMMSS.mdb（本地时间）：字节完全相同，所以用同一个密码打开。副本先写到磁盘并完整读回检查（PRAGMA quick_check），然后才得到它的名字；只有文件的主人能读。保留最新的 10 个。工具和程序在导入、修改密码和恢复之前也会自动备份一次。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="565"/>
        <source>Keep the newest N backups from now on (1 to %1; kept in DataBase/backups/keep, for the program too).</source>
        <translation>从现在起保留最新的 N 个备份（1 到 %1；记在 DataBase/backups/keep 中，程序也照此保留）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="578"/>
        <source>--keep takes a whole number from 1 to %1.</source>
        <translation>--keep 需要 1 到 %1 之间的整数。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="588"/>
        <source>Made the backup %1 (%2).</source>
        <translation>已建立备份 %1（%2）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="591"/>
        <source>No backup was made: %1</source>
        <translation>没有建立备份：%1</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="600"/>
        <source>Lists the backups in DIR/DataBase/backups/, oldest first: date and time, contacts, size and name. Backups under the contacts file&apos;s password or the built-in one are counted; others show &quot;?&quot;.</source>
        <translation>列出 DIR/DataBase/backups/ 中的备份，最旧的在前：日期和时间、联系人数、大小和名字。用联系人文件的密码或内置密码的备份会计数；其他的显示“?”。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="618"/>
        <source>The contacts file does not open (%1); backups are counted with the built-in password</source>
        <translation>联系人文件打不开（%1）；用内置密码为备份计数</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="627"/>
        <source>No backups in %1.</source>
        <translation>%1 中没有备份。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="630"/>
        <source>Backups in %1 (the newest %2 are kept):</source>
        <translation>%1 中的备份（保留最新的 %2 个）：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="634"/>
        <source>contacts</source>
        <translation>个联系人</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="644"/>
        <source>Puts BACKUP (a path, or a name from &quot;tongxunlu-db backups&quot;) in place of the contacts file, after backing the current file up. Refused while the program or another tongxunlu-db has the file open. At every moment, even under kill -9, the file is the old one or the backup, whole. With --stdin the lines are the backup&apos;s password, then the current file&apos;s, each only when the built-in password does not open the file.</source>
        <translation>先备份当前文件，再用 BACKUP（一个路径，或“tongxunlu-db backups”列出的名字）取代联系人文件。程序或另一个 tongxunlu-db 打开着文件时拒绝。任何时刻，即使遇到 kill -9，文件都是完整的旧文件或备份。用 --stdin 时各行依次是备份的密码、当前文件的密码，各自只在内置密码打不开时才需要。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="652"/>
        <source>The backup to restore.</source>
        <translation>要恢复的备份。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="664"/>
        <source>Could not find the backup &apos;%1&apos;; nothing was restored</source>
        <translation>找不到备份“%1”；什么也没有恢复</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="666"/>
        <source>That is the contacts file itself; nothing was restored</source>
        <translation>这就是联系人文件本身；什么也没有恢复</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="668"/>
        <source>Could not make the folder of &apos;%1&apos;; nothing was restored</source>
        <translation>无法建立“%1”所在的文件夹；什么也没有恢复</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="672"/>
        <source>The contacts file is open in the program or in another tongxunlu-db; close it and try again. Nothing was restored</source>
        <translation>联系人文件正在被程序或另一个 tongxunlu-db 打开；请关闭后再试。什么也没有恢复</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="676"/>
        <source>Password of the backup: </source>
        <translation>备份的密码：</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="686"/>
        <source>Nothing was restored: %1</source>
        <translation>什么也没有恢复：%1</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="688"/>
        <source>Restored %1 as %2.</source>
        <translation>已把 %1 恢复为 %2。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="699"/>
        <source>Makes the contacts file of tongxunlu, sets its password, and moves contacts in and out of it as vCard or CSV.

  tongxunlu-db create [--sample N] [DIR]
  tongxunlu-db passwd [--stdin] [--reset] [--accept-weak] [DIR]
  tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]
  tongxunlu-db export [--stdin] [--format vcard|csv] [--encoding utf-8|gbk] FILE [DIR]
  tongxunlu-db backup [--stdin] [--keep N] [DIR]
  tongxunlu-db backups [--stdin] [DIR]
  tongxunlu-db restore [--stdin] BACKUP [DIR]
  tongxunlu-db sync-setup [--stdin] [--insecure] [--book NAME] [--accept-fingerprint SHA256] URL USER [DIR]
  tongxunlu-db sync [--stdin] [--insecure] [--dry-run] [--prefer local|server] [DIR]

create     makes the contacts file (with sample contacts if asked)
passwd     sets the owner&apos;s password of the contacts file, or the built-in one
import     adds the contacts of a vCard or CSV file
export     writes every contact to a vCard or CSV file
backup     copies the contacts file into DIR/DataBase/backups/
backups    lists the backups
restore    puts a backup in place of the contacts file
sync-setup keeps a CardDAV account and address book in the contacts file
sync       two-way sync with that address book
&quot;tongxunlu-db COMMAND --help&quot; describes a command and its options.

DIR is the program&apos;s working folder (default: the current folder); the contacts file is DIR/DataBase/data_txl.mdb.

Every command that opens an existing file asks for its password on the terminal when the built-in one does not open it. With --stdin the passwords are read from standard input instead, one per line, for scripts. Passwords are never taken from the command line or the environment and never written anywhere but into the file&apos;s encryption. A file with the built-in password can be read by anyone who has the program; saved reports, PDF files and exported files are plain files.

Exit status: 0 on success, 1 when refused (nothing changed) or when a sync leaves conflicts, 2 on bad usage.

To read the file with the sqlcipher shell (the built-in password shown; use the file&apos;s own if it has one):
  sqlcipher DIR/DataBase/data_txl.mdb \
    &quot;PRAGMA key=&apos;%1&apos;; %2 select * from data;&quot;</source>
        <translation>建立通讯录（tongxunlu）的联系人文件，设置它的密码，并以 vCard 或 CSV 导入、导出联系人。

  tongxunlu-db create [--sample N] [DIR]
  tongxunlu-db passwd [--stdin] [--reset] [--accept-weak] [DIR]
  tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]
  tongxunlu-db export [--stdin] [--format vcard|csv] [--encoding utf-8|gbk] FILE [DIR]
  tongxunlu-db backup [--stdin] [--keep N] [DIR]
  tongxunlu-db backups [--stdin] [DIR]
  tongxunlu-db restore [--stdin] BACKUP [DIR]
  tongxunlu-db sync-setup [--stdin] [--insecure] [--book NAME] [--accept-fingerprint SHA256] URL USER [DIR]
  tongxunlu-db sync [--stdin] [--insecure] [--dry-run] [--prefer local|server] [DIR]

create     建立联系人文件（需要时加示例联系人）
passwd     给联系人文件设置主人的密码，或恢复内置密码
import     添加 vCard 或 CSV 文件中的联系人
export     把所有联系人写到 vCard 或 CSV 文件
backup     把联系人文件复制到 DIR/DataBase/backups/
backups    列出备份
restore    用一个备份取代联系人文件
sync-setup 把 CardDAV 账户和通讯录保存在联系人文件中
sync       与那个通讯录双向同步
“tongxunlu-db 命令 --help”说明一个命令及其选项。

DIR 是程序的工作文件夹（默认：当前文件夹）；联系人文件是 DIR/DataBase/data_txl.mdb。

打开已有文件的命令在内置密码打不开文件时，在终端上询问它的密码。用 --stdin 时改从标准输入读密码，每行一个，供脚本使用。密码决不从命令行或环境变量获取，除了文件的加密以外也决不写到别处。用内置密码的文件，任何有这个程序的人都能读；保存的报表、PDF 文件和导出的文件都是普通文件。

退出状态：成功为 0，被拒绝（什么也没改）或同步留有冲突为 1，用法错误为 2。

用 sqlcipher 命令行读这个文件（显示的是内置密码；文件有自己的密码时用它的密码）：
  sqlcipher DIR/DataBase/data_txl.mdb \
    &quot;PRAGMA key=&apos;%1&apos;; %2 select * from data;&quot;</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="742"/>
        <source>Show the version and exit.</source>
        <translation>显示版本后退出。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="744"/>
        <source>create, passwd, import, export, backup, backups, restore, sync-setup or sync.</source>
        <translation>create、passwd、import、export、backup、backups、restore、sync-setup 或 sync。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="752"/>
        <source>Read the passwords from standard input, one per line, instead of the terminal: the contacts file&apos;s (only when needed; one try), then the server&apos;s, which is then not kept in the secret store.</source>
        <translation>从标准输入读密码，每行一个，而不在终端上询问：先是联系人文件的密码（只在需要时；只试一次），再是服务器的密码，这时服务器的密码不存入密钥环。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="760"/>
        <source>Allow plain http:// to another computer than this one (the password then travels readable).</source>
        <translation>允许用明文 http:// 连接本机以外的计算机（密码会以可读的形式传送）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="779"/>
        <source>Finds USER&apos;s CardDAV address books from the server URL (the address book&apos;s own URL, the server&apos;s, or one whose /.well-known/carddav leads to it) and keeps the account in the contacts file. The server password is asked for and kept in the desktop&apos;s secret store when one runs; otherwise each sync asks for it. Certificates are checked against the system&apos;s store: a server whose certificate it does not trust is refused with the certificate&apos;s SHA-256 fingerprint, which the user may accept (typed &quot;yes&quot; on the terminal, or --accept-fingerprint); the accepted one is kept with the account, and another one later is refused again.</source>
        <translation>从服务器地址 URL（通讯录本身的地址、服务器的地址，或其 /.well-known/carddav 指向通讯录的地址）找到 USER 的 CardDAV 通讯录，并把账户保存在联系人文件中。工具询问服务器的密码；桌面的密钥环在运行时存入其中，否则每次同步时询问。证书按系统的证书库检查：证书不受系统信任的服务器被拒绝，并显示证书的 SHA-256 指纹，用户可以接受它（在终端上输入“yes”，或用 --accept-fingerprint）；接受的证书随账户保存，以后换了证书会再次被拒绝。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="790"/>
        <source>The address book to sync with, by name, when the server has several.</source>
        <translation>服务器上有几个通讯录时，按名称选择要同步的那个。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="792"/>
        <source>Accept the server&apos;s certificate when its SHA-256 fingerprint is this one (hex, with or without colons).</source>
        <translation>服务器证书的 SHA-256 指纹是这个时接受它（十六进制，带不带冒号都可以）。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="795"/>
        <source>The CardDAV server or address book.</source>
        <translation>CardDAV 服务器或通讯录。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="796"/>
        <source>The user name on the server.</source>
        <translation>服务器上的用户名。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="808"/>
        <source>&apos;%1&apos; is not a server address.</source>
        <translation>“%1”不是服务器地址。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="810"/>
        <source>The user name is empty.</source>
        <translation>用户名是空的。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="814"/>
        <source>--accept-fingerprint takes a SHA-256 fingerprint: 64 hex digits.</source>
        <translation>--accept-fingerprint 要的是 SHA-256 指纹：64 位十六进制数字。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="824"/>
        <source>Two-way sync with the address book sync-setup chose: changes on either side are carried to the other. Contacts changed on both sides, or deleted on one and changed on the other, are conflicts that keep both sides as they are, unless --prefer says which side wins. Prints one summary line, then one line per conflict or skipped card. The contacts file is backed up first. Exit status 1 when refused or when conflicts are left.</source>
        <translation>与 sync-setup 选定的通讯录双向同步：任一边的改动都带到另一边。两边都改过的联系人，或一边删除、另一边改过的联系人，是冲突，两边都保持原样，除非用 --prefer 指定哪一边为准。输出一行汇总，再为每个冲突或跳过的名片各输出一行。同步前先备份联系人文件。被拒绝或留有冲突时退出状态为 1。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="833"/>
        <source>Report what the sync would do without writing on either side.</source>
        <translation>只报告同步会做什么，两边都不写入。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="835"/>
        <source>Settle the conflicts: local keeps this file&apos;s contacts, server the server&apos;s.</source>
        <translation>解决冲突：local 以这个文件的联系人为准，server 以服务器的为准。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="853"/>
        <source>--prefer takes local or server.</source>
        <translation>--prefer 要的是 local 或 server。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="891"/>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>未知的选项“%1”。</translation>
    </message>
    <message>
        <location filename="../tongxunlu-db.cpp" line="892"/>
        <source>Unknown command &apos;%1&apos;.</source>
        <translation>未知的命令“%1”。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="38"/>
        <source>Password of %1 on %2: </source>
        <translation>%1 在 %2 的密码：</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="43"/>
        <source>No server password was given (there is no terminal to ask on; scripts give it with --stdin).</source>
        <translation>没有得到服务器的密码（没有终端可以询问；脚本请用 --stdin 给出）。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="59"/>
        <source>Accept this certificate only if its fingerprint is the one the server&apos;s administrator gives.</source>
        <translation>只有当指纹与服务器管理员给出的相同时，才接受这张证书。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="64"/>
        <source>Accept it? Type yes to accept: </source>
        <translation>接受它吗？输入 yes 接受：</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="70"/>
        <source>To accept that certificate, check its fingerprint with the server&apos;s administrator, then run sync-setup again with --accept-fingerprint %1.</source>
        <translation>要接受这张证书，先向服务器管理员核对它的指纹，再加 --accept-fingerprint %1 重新运行 sync-setup。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="111"/>
        <source>The server has these address books: %1; choose one with --book NAME.</source>
        <translation>服务器上有这些通讯录：%1；用 --book NAME 选一个。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="117"/>
        <source>Set up sync with the address book &quot;%1&quot; of %2 on %3 (%4).</source>
        <translation>已设置同步：%2 在 %3 的通讯录“%1”（%4）。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="121"/>
        <source>The server&apos;s certificate %1 is accepted.</source>
        <translation>已接受服务器的证书 %1。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="124"/>
        <source>The password is kept in the desktop&apos;s secret store.</source>
        <translation>密码已存入桌面的密钥环。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="126"/>
        <source>The password is not kept: each sync asks for it.</source>
        <translation>密码没有保存：每次同步时询问。</translation>
    </message>
    <message>
        <location filename="../SyncCommands.cpp" line="149"/>
        <source>This contacts file is not set up for sync: run tongxunlu-db sync-setup URL USER first.</source>
        <translation>这个联系人文件还没有设置同步：先运行 tongxunlu-db sync-setup URL USER。</translation>
    </message>
</context>
</TS>
