<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>exchange</name>
    <message>
        <source>Imported %1, skipped %2</source>
        <translation>导入 %1 条，跳过 %2 条</translation>
    </message>
    <message>
        <source>Line %1: %2</source>
        <translation>第 %1 行：%2</translation>
    </message>
    <message>
        <source>Line %1, %2: %3</source>
        <translation>第 %1 行 %2：%3</translation>
    </message>
    <message>
        <source>The file &apos;%1&apos; was not found.</source>
        <translation>找不到文件“%1”。</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is a folder, not a contacts file.</source>
        <translation>“%1”是文件夹，不是联系人文件。</translation>
    </message>
    <message>
        <source>The file &apos;%1&apos; is too large (over %2 MB) to import.</source>
        <translation>文件“%1”太大（超过 %2 MB），不能导入。</translation>
    </message>
    <message>
        <source>Could not read the file &apos;%1&apos;: %2</source>
        <translation>无法读取文件“%1”：%2</translation>
    </message>
    <message>
        <source>The file &apos;%1&apos; is empty.</source>
        <translation>文件“%1”是空的。</translation>
    </message>
    <message>
        <source>no name</source>
        <translation>没有姓名</translation>
    </message>
    <message>
        <source>the name is longer than %1 bytes (at most 5 Chinese characters)</source>
        <translation>姓名超过 %1 个字节（最多 5 个汉字）</translation>
    </message>
    <message>
        <source>The import was cancelled.</source>
        <translation>导入已取消。</translation>
    </message>
    <message>
        <source>the same name as line %1</source>
        <translation>与第 %1 行重名</translation>
    </message>
    <message>
        <source>the same name as a stored contact</source>
        <translation>与已有的联系人重名</translation>
    </message>
    <message>
        <source>Could not write the file &apos;%1&apos;: %2</source>
        <translation>无法写入文件“%1”：%2</translation>
    </message>
    <message>
        <source>No contacts were imported.</source>
        <translation>没有导入任何联系人。</translation>
    </message>
    <message>
        <source>No file was written.</source>
        <translation>没有写出文件。</translation>
    </message>
    <message>
        <source>%1 holds the control character U+%2</source>
        <translation>%1含有控制字符 U+%2</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a regular file (it is a pipe, a device or a socket); it cannot be imported.</source>
        <translation>“%1”不是普通文件（是管道、设备或套接字），不能导入。</translation>
    </message>
    <message>
        <source>the mobile number was not imported: &apos;%1&apos; is longer than %2 bytes</source>
        <translation>手机号码未导入：“%1”超过 %2 个字节</translation>
    </message>
    <message>
        <source>the QQ number was not imported: &apos;%1&apos; is longer than %2 bytes</source>
        <translation>QQ号码未导入：“%1”超过 %2 个字节</translation>
    </message>
</context>
</TS>
