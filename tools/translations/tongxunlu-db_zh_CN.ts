<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Tool</name>
    <message>
        <source>Show this help and exit.</source>
        <translation>显示本帮助后退出。</translation>
    </message>
    <message>
        <source>Try &apos;%1 --help&apos;.</source>
        <translation>请试试“%1 --help”。</translation>
    </message>
    <message>
        <source>Too few arguments.</source>
        <translation>参数太少。</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>多余的参数“%1”。</translation>
    </message>
    <message>
        <source>Wrong password.</source>
        <translation>密码不对。</translation>
    </message>
    <message>
        <source>Password of the contacts file: </source>
        <translation>联系人文件的密码：</translation>
    </message>
    <message>
        <source>The file has a password of its own and there is no terminal to ask for it on; give it with --stdin</source>
        <translation>这个文件有自己的密码，但没有终端可以询问密码；请用 --stdin 给出</translation>
    </message>
    <message>
        <source>Not a valid password</source>
        <translation>密码无效</translation>
    </message>
    <message>
        <source>Read the passwords from standard input, one per line, instead of the terminal: the current one (only when needed; one try), then for passwd the new one twice.</source>
        <translation>从标准输入读密码，每行一个，而不是在终端上询问：先是当前的密码（只在需要时；只试一次），passwd 再读两遍新密码。</translation>
    </message>
    <message>
        <source>The program&apos;s working folder (default: the current folder); the contacts file is DIR/DataBase/data_txl.mdb.</source>
        <translation>程序的工作文件夹（默认：当前文件夹）；联系人文件是 DIR/DataBase/data_txl.mdb。</translation>
    </message>
    <message>
        <source>Makes the password-protected contacts file with its table &quot;data&quot; and, with --sample N, N sample contacts (the same N gives the same contacts). It has the built-in password. An existing file is never touched: the tool refuses.</source>
        <translation>建立有密码保护的联系人文件及其表“data”；用 --sample N 时再加 N 个示例联系人（同样的 N 得到同样的联系人）。文件用内置密码。已有的文件决不改动：工具会拒绝。</translation>
    </message>
    <message>
        <source>Fill the new file with N sample contacts (0 to 10000000).</source>
        <translation>在新文件中放入 N 个示例联系人（0 到 10000000）。</translation>
    </message>
    <message>
        <source>--sample takes a whole number from 0 to 10000000.</source>
        <translation>--sample 需要 0 到 10000000 之间的整数。</translation>
    </message>
    <message>
        <source>The file &apos;%1&apos; exists already; it is left as it is</source>
        <translation>文件“%1”已经存在；保持原样</translation>
    </message>
    <message>
        <source>Made %1 with %2 contacts in %3 ms.</source>
        <translation>已建立 %1，含 %2 个联系人，用时 %3 毫秒。</translation>
    </message>
    <message>
        <source>Gives the contacts file a password of its owner&apos;s own. The tool asks for the current password (only when the built-in one does not open the file), then for the new one twice; nothing typed is shown. An empty new password, or two that differ, change nothing. The change is made in one transaction: if it is interrupted, even by a crash, the file opens with the old password or the new one. The program then asks for the password when it starts.</source>
        <translation>给联系人文件设置主人自己的密码。工具先询问当前的密码（只在内置密码打不开文件时），再询问两遍新密码；输入的内容都不显示。新密码为空或两遍不同时，什么也不改。更改在一个事务中完成：即使中途中断甚至崩溃，文件也能用旧密码或新密码打开。之后程序启动时会询问密码。</translation>
    </message>
    <message>
        <source>Give the file the built-in password again.</source>
        <translation>让文件重新使用内置密码。</translation>
    </message>
    <message>
        <source>There is no terminal to ask for the new password on; give it with --stdin</source>
        <translation>没有终端可以询问新密码；请用 --stdin 给出</translation>
    </message>
    <message>
        <source>New password: </source>
        <translation>新密码：</translation>
    </message>
    <message>
        <source>The new password again: </source>
        <translation>再输入一遍新密码：</translation>
    </message>
    <message>
        <source>The new password was not given twice; nothing was changed</source>
        <translation>新密码没有输入两遍；什么也没有更改</translation>
    </message>
    <message>
        <source>The new password is empty; nothing was changed</source>
        <translation>新密码为空；什么也没有更改</translation>
    </message>
    <message>
        <source>The two new passwords differ; nothing was changed</source>
        <translation>两遍新密码不同；什么也没有更改</translation>
    </message>
    <message>
        <source>%1 has the built-in password again.</source>
        <translation>%1 已重新使用内置密码。</translation>
    </message>
    <message>
        <source>Changed the password of %1.</source>
        <translation>已更改 %1 的密码。</translation>
    </message>
    <message>
        <source>Adds the contacts of a vCard (2.1, 3.0, 4.0) or CSV file, told apart by the content. Chinese text in UTF-8, UTF-16, GBK/GB18030, GB2312, Big5 or UTF-7 (as the file declares or as found) is read. Records without a name, with a name already stored or given twice, or with a name, mobile or QQ longer than 11 bytes are skipped, each with its line and reason. All accepted contacts are stored in one transaction: on any error nothing is stored.</source>
        <translation>添加 vCard（2.1、3.0、4.0）或 CSV 文件中的联系人，按内容区分格式。能读 UTF-8、UTF-16、GBK/GB18030、GB2312、Big5 或 UTF-7 的中文（按文件声明或自动识别）。没有姓名、姓名已存在或重复出现、姓名、手机或 QQ 超过 11 个字节的记录被跳过，并列出各自的行号和原因。接受的联系人在一个事务中保存：出任何错都不保存。</translation>
    </message>
    <message>
        <source>Report what the import would do without writing.</source>
        <translation>只报告导入的结果，不写入。</translation>
    </message>
    <message>
        <source>The vCard or CSV file to read.</source>
        <translation>要读的 vCard 或 CSV 文件。</translation>
    </message>
    <message>
        <source>Dry run, nothing was written:</source>
        <translation>试运行，没有写入：</translation>
    </message>
    <message>
        <source>(%1 ms)</source>
        <translation>（%1 毫秒）</translation>
    </message>
    <message>
        <source>Writes every contact as vCard 3.0 (UTF-8) or as CSV with a Chinese header row (UTF-8 with a byte-order mark, or GBK with --encoding gbk). The format defaults to CSV for a .csv or .txt FILE, else vCard.</source>
        <translation>把所有联系人写成 vCard 3.0（UTF-8）或带中文标题行的 CSV（带字节顺序标记的 UTF-8，用 --encoding gbk 时为 GBK）。FILE 以 .csv 或 .txt 结尾时默认为 CSV，否则为 vCard。</translation>
    </message>
    <message>
        <source>The format of the file: vcard or csv.</source>
        <translation>文件格式：vcard 或 csv。</translation>
    </message>
    <message>
        <source>The encoding of a CSV file: utf-8 (the default) or gbk.</source>
        <translation>CSV 文件的编码：utf-8（默认）或 gbk。</translation>
    </message>
    <message>
        <source>The file to write; an existing one is replaced whole.</source>
        <translation>要写的文件；已有的文件被整个替换。</translation>
    </message>
    <message>
        <source>--format takes vcard or csv.</source>
        <translation>--format 需要 vcard 或 csv。</translation>
    </message>
    <message>
        <source>--encoding takes utf-8 or gbk.</source>
        <translation>--encoding 需要 utf-8 或 gbk。</translation>
    </message>
    <message>
        <source>vCard files are always written in UTF-8; --encoding gbk is for CSV only.</source>
        <translation>vCard 文件总是以 UTF-8 写出；--encoding gbk 只用于 CSV。</translation>
    </message>
    <message>
        <source>Exported %1 contacts to %2</source>
        <translation>导出 %1 条到 %2</translation>
    </message>
    <message>
        <source>Makes the contacts file of tongxunlu, sets its password, and moves contacts in and out of it as vCard or CSV.

  tongxunlu-db create [--sample N] [DIR]
  tongxunlu-db passwd [--stdin] [--reset] [DIR]
  tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]
  tongxunlu-db export [--stdin] [--format vcard|csv] [--encoding utf-8|gbk] FILE [DIR]

create   makes the contacts file (with sample contacts if asked)
passwd   sets the owner&apos;s password of the contacts file, or the built-in one
import   adds the contacts of a vCard or CSV file
export   writes every contact to a vCard or CSV file
&quot;tongxunlu-db COMMAND --help&quot; describes a command and its options.

DIR is the program&apos;s working folder (default: the current folder); the contacts file is DIR/DataBase/data_txl.mdb.

Every command that opens an existing file asks for its password on the terminal when the built-in one does not open it. With --stdin the passwords are read from standard input instead, one per line, for scripts. Passwords are never taken from the command line or the environment and never written anywhere but into the file&apos;s encryption. A file with the built-in password can be read by anyone who has the program; saved reports, PDF files and exported files are plain files.

Exit status: 0 on success, 1 when refused (nothing changed), 2 on bad usage.

To read the file with the sqlcipher shell (the built-in password shown; use the file&apos;s own if it has one):
  sqlcipher DIR/DataBase/data_txl.mdb \
    &quot;PRAGMA key=&apos;%1&apos;; %2 select * from data;&quot;</source>
        <translation>建立通讯录（tongxunlu）的联系人文件，设置它的密码，并以 vCard 或 CSV 导入、导出联系人。

  tongxunlu-db create [--sample N] [DIR]
  tongxunlu-db passwd [--stdin] [--reset] [DIR]
  tongxunlu-db import [--stdin] [--dry-run] FILE [DIR]
  tongxunlu-db export [--stdin] [--format vcard|csv] [--encoding utf-8|gbk] FILE [DIR]

create   建立联系人文件（需要时加示例联系人）
passwd   给联系人文件设置主人的密码，或恢复内置密码
import   添加 vCard 或 CSV 文件中的联系人
export   把所有联系人写到 vCard 或 CSV 文件
“tongxunlu-db 命令 --help”说明一个命令及其选项。

DIR 是程序的工作文件夹（默认：当前文件夹）；联系人文件是 DIR/DataBase/data_txl.mdb。

打开已有文件的命令在内置密码打不开文件时，在终端上询问它的密码。用 --stdin 时改从标准输入读密码，每行一个，供脚本使用。密码决不从命令行或环境变量获取，除了文件的加密以外也决不写到别处。用内置密码的文件，任何有这个程序的人都能读；保存的报表、PDF 文件和导出的文件都是普通文件。

退出状态：成功为 0，被拒绝（什么也没改）为 1，用法错误为 2。

用 sqlcipher 命令行读这个文件（显示的是内置密码；文件有自己的密码时用它的密码）：
  sqlcipher DIR/DataBase/data_txl.mdb \
    &quot;PRAGMA key=&apos;%1&apos;; %2 select * from data;&quot;</translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation>显示版本后退出。</translation>
    </message>
    <message>
        <source>create, passwd, import or export.</source>
        <translation>create、passwd、import 或 export。</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>未知的选项“%1”。</translation>
    </message>
    <message>
        <source>Unknown command &apos;%1&apos;.</source>
        <translation>未知的命令“%1”。</translation>
    </message>
</context>
</TS>
