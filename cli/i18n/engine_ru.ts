<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<!-- The engine's English texts (the records' refusals, the system's reasons) and the command-line
     parser's in Russian; zenda's own texts are in zenda_ru.ts. -->
<context>
    <name>engine</name>
    <message>
        <source>the team&apos;s server cannot be reached</source>
        <translation>сервер группы недоступен</translation>
    </message>
    <message>
        <source>the team&apos;s server refused this PC&apos;s login</source>
        <translation>сервер группы отказал этому ПК во входе</translation>
    </message>
    <message>
        <source>the team&apos;s server</source>
        <translation>сервер группы</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>остановлено</translation>
    </message>
    <message>
        <source>no answer for 60 s</source>
        <translation>нет ответа 60 с</translation>
    </message>
    <message>
        <source>not synced to the disk</source>
        <translation>не сброшено на диск</translation>
    </message>
    <message>
        <source>not a connection string</source>
        <translation>не строка подключения</translation>
    </message>
    <message>
        <source>not a folder</source>
        <translation>не папка</translation>
    </message>
    <message>
        <source>the protocol's description is damaged</source>
        <translation>описание протокола повреждено</translation>
    </message>
    <message>
        <source>cannot be created</source>
        <translation>не удается создать</translation>
    </message>
    <message>
        <source>the file read back is not the image written</source>
        <translation>прочитанный файл не совпадает с записанным образом</translation>
    </message>
    <message>
        <source>no file name</source>
        <translation>нет имени файла</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>не обычный файл</translation>
    </message>
    <message>
        <source>exists already</source>
        <translation>уже существует</translation>
    </message>
    <message>
        <source>give a new name</source>
        <translation>укажите другое имя</translation>
    </message>
    <message>
        <source>no such folder</source>
        <translation>нет такой папки</translation>
    </message>
    <message>
        <source>too large for an image file (%1 bytes)</source>
        <translation>слишком велик для файла образа (%1 байт)</translation>
    </message>
    <message>
        <source>not a hex byte</source>
        <translation>не шестнадцатеричный байт</translation>
    </message>
    <message>
        <source>%1 bytes, not %2</source>
        <translation>%1 байт вместо %2</translation>
    </message>
    <message>
        <source>.lock</source>
        <translation>.lock</translation>
    </message>
    <message>
        <source>held by another program</source>
        <translation>занят другой программой</translation>
    </message>
    <message>
        <source>cannot be written</source>
        <translation>запись невозможна</translation>
    </message>
    <message>
        <source>the number is held by another program</source>
        <translation>номер занят другой программой</translation>
    </message>
    <message>
        <source>damaged</source>
        <translation>повреждена</translation>
    </message>
    <message>
        <source>saved as UTF-16 by another program</source>
        <translation>сохранен другой программой в UTF-16</translation>
    </message>
    <message>
        <source>not appended to (save it as CSV UTF-8, or move it away for a new journal)</source>
        <translation>запись не добавлена (сохраните его как CSV UTF-8 или уберите, чтобы начать новый журнал)</translation>
    </message>
    <message>
        <source>No such file or directory</source>
        <translation>Нет такого файла или каталога</translation>
    </message>
    <message>
        <source>Permission denied</source>
        <translation>Отказано в доступе</translation>
    </message>
    <message>
        <source>No space left on device</source>
        <translation>На устройстве не осталось свободного места</translation>
    </message>
    <message>
        <source>Read-only file system</source>
        <translation>Файловая система доступна только для чтения</translation>
    </message>
    <message>
        <source>Is a directory</source>
        <translation>Это каталог</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Unknown option '%1'.</source>
        <translation>Неизвестный параметр «%1».</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>Неизвестные параметры: %1.</translation>
    </message>
    <message>
        <source>Missing value after '%1'.</source>
        <translation>Нет значения после «%1».</translation>
    </message>
    <message>
        <source>Unexpected value after '%1'.</source>
        <translation>Лишнее значение после «%1».</translation>
    </message>
</context>
</TS>
