<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<context>
    <name>zenda</name>
    <message>
        <source>--v2-reset is yes or no</source>
        <translation>--v2-reset принимает yes или no</translation>
    </message>
    <message>
        <source>PC time %1. Is it the right time? Initialize the device (counters cleared)?</source>
        <translation>Время ПК %1. Время верное? Инициализировать прибор (счетчики будут обнулены)?</translation>
    </message>
    <message>
        <source>the device was initialized and verified; only leaving initialization mode failed</source>
        <translation>прибор инициализирован и проверен; не удался только выход из режима инициализации</translation>
    </message>
    <message>
        <source>stopped: the device was initialized but is still in initialization mode</source>
        <translation>остановлено: прибор инициализирован, но остается в режиме инициализации</translation>
    </message>
    <message>
        <source>--%1 is HOURS:MM (0..99999 hours), not &apos;%2&apos;</source>
        <translation>--%1 задается как HOURS:MM (0..99999 часов), а не «%2»</translation>
    </message>
    <message>
        <source>nothing to set: give --tp1, --tp2, --v1 or --v2</source>
        <translation>нечего устанавливать: укажите --tp1, --tp2, --v1 или --v2</translation>
    </message>
    <message>
        <source>Preset the counters?</source>
        <translation>Установить значения счетчиков?</translation>
    </message>
    <message>
        <source>--%1 is a number with at most %2 digits and %3 decimals for this channel, not &apos;%4&apos;</source>
        <translation>--%1 для этого канала — число не более чем с %2 цифрами до запятой и %3 знаками после, а не «%4»</translation>
    </message>
    <message>
        <source>backup: %1</source>
        <translation>резервная копия: %1</translation>
    </message>
    <message>
        <source>the service journal cannot be read: %1</source>
        <translation>не удается прочитать сервисный журнал: %1</translation>
    </message>
    <message>
        <source>traffic: %1</source>
        <translation>обмен: %1</translation>
    </message>
    <message>
        <source>can be opened</source>
        <translation>открывается</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>отсутствует</translation>
    </message>
    <message>
        <source>busy (open in another program)</source>
        <translation>занят (открыт другой программой)</translation>
    </message>
    <message>
        <source>cannot be opened</source>
        <translation>не открывается</translation>
    </message>
    <message>
        <source>not a path</source>
        <translation>не путь</translation>
    </message>
    <message>
        <source>no permission</source>
        <translation>нет прав доступа</translation>
    </message>
    <message>
        <source>cannot be opened (busy, or not a serial line)</source>
        <translation>не открывается (занят или не последовательный порт)</translation>
    </message>
    <message>
        <source>--map is COMn=PATH (n 1..16; an empty PATH removes the mapping), not &apos;%1&apos;</source>
        <translation>--map задается как COMn=PATH (n 1..16; пустой PATH снимает назначение), а не «%1»</translation>
    </message>
    <message>
        <source> (mapped)</source>
        <translation> (назначен)</translation>
    </message>
    <message>
        <source>serial devices found:</source>
        <translation>найденные последовательные устройства:</translation>
    </message>
    <message>
        <source>none</source>
        <translation>нет</translation>
    </message>
    <message>
        <source>Some devices cannot be opened by this user: add yourself to the &apos;dialout&apos; group
(sudo usermod -aG dialout $USER) and log in again.</source>
        <translation>Некоторые устройства недоступны этому пользователю: добавьте себя в группу &apos;dialout&apos;
(sudo usermod -aG dialout $USER) и войдите в систему заново.</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>неизвестная команда «%1»</translation>
    </message>
    <message>
        <source>no command</source>
        <translation>не указана команда</translation>
    </message>
    <message>
        <source>--port is empty: give COM1..COM16 or a device path</source>
        <translation>--port пуст: укажите COM1..COM16 или путь к устройству</translation>
    </message>
    <message>
        <source>--baud is 4800 or 9600</source>
        <translation>--baud принимает 4800 или 9600</translation>
    </message>
    <message>
        <source>rtc takes one number of seconds, -25..25</source>
        <translation>rtc принимает одно число секунд, -25..25</translation>
    </message>
    <message>
        <source>restore takes one backup file</source>
        <translation>restore принимает один файл резервной копии</translation>
    </message>
    <message>
        <source>unexpected argument &apos;%1&apos;</source>
        <translation>лишний аргумент «%1»</translation>
    </message>
    <message>
        <source>--%1 is given more than once</source>
        <translation>--%1 указан более одного раза</translation>
    </message>
    <message>
        <source>%1: the file name is empty</source>
        <translation>%1: пустое имя файла</translation>
    </message>
    <message>
        <source>read after the failure: the device holds the new settings</source>
        <translation>чтение после сбоя: в приборе новые настройки</translation>
    </message>
    <message>
        <source>read after the failure: the device holds its old settings; nothing was changed</source>
        <translation>чтение после сбоя: в приборе прежние настройки; ничего не изменено</translation>
    </message>
    <message>
        <source>nothing was verified, the device may have been changed</source>
        <translation>ничего не проверено, прибор мог быть изменен</translation>
    </message>
    <message>
        <source>failed %1 times; %2</source>
        <translation>сбоев: %1; %2</translation>
    </message>
    <message>
        <source>channel %1: the channel settings are empty (value=, type=, test=)</source>
        <translation>канал %1: настройки канала пусты (value=, type=, test=)</translation>
    </message>
    <message>
        <source>channel %1: &apos;%2&apos; is not name=value (value=, type=, test=)</source>
        <translation>канал %1: «%2» не имеет вида имя=значение (value=, type=, test=)</translation>
    </message>
    <message>
        <source>channel %1: unknown &apos;%2&apos;</source>
        <translation>канал %1: неизвестное имя «%2»</translation>
    </message>
    <message>
        <source>channel %1: type &apos;%2&apos; is not one this model takes</source>
        <translation>канал %1: тип «%2» не поддерживается этой моделью</translation>
    </message>
    <message>
        <source>channel %1: a frequency input has no pulse value</source>
        <translation>канал %1: у частотного входа нет цены входного импульса</translation>
    </message>
    <message>
        <source>channel %1: pulse value &apos;%2&apos; is not one of this input type&apos;s</source>
        <translation>канал %1: цена входного импульса «%2» недопустима для этого типа входного сигнала</translation>
    </message>
    <message>
        <source>channel %1: test is yes or no, not &apos;%2&apos;</source>
        <translation>канал %1: test принимает yes или no, а не «%2»</translation>
    </message>
    <message>
        <source>channel %1: a pulse input longer than 50 ms has no line test</source>
        <translation>канал %1: у импульсного входа длительностью более 50 мс нет теста линии</translation>
    </message>
    <message>
        <source>channel %1: pulse value %2 -&gt; %3, as the type &quot;%4&quot; requires</source>
        <translation>канал %1: цена входного импульса %2 -&gt; %3, как требует тип «%4»</translation>
    </message>
    <message>
        <source>channel %1: line test %2 -&gt; %3, as the type &quot;%4&quot; requires</source>
        <translation>канал %1: тест линии %2 -&gt; %3, как требует тип «%4»</translation>
    </message>
    <message>
        <source>the COM names, what each resolves to, the serial devices found</source>
        <translation>имена COM, на что указывает каждое, найденные последовательные устройства</translation>
    </message>
    <message>
        <source>model, serial number, address, channels, V2 flag, last initialization, RTC correction, counters</source>
        <translation>модель, заводской номер, сетевой адрес, каналы, признак V2, последняя инициализация, автокоррекция RTC, счетчики</translation>
    </message>
    <message>
        <source>initialize: settings not given keep what the device holds; counters cleared, PC clock stamped</source>
        <translation>инициализация: неуказанные настройки остаются как в приборе; счетчики обнуляются, записывается время ПК</translation>
    </message>
    <message>
        <source>leave initialization mode</source>
        <translation>выход из режима инициализации</translation>
    </message>
    <message>
        <source>set the RTC correction, -25..25 seconds</source>
        <translation>установка автокоррекции RTC, -25..25 секунд</translation>
    </message>
    <message>
        <source>preset counters; the others keep their values</source>
        <translation>установка значений счетчиков; остальные сохраняют свои значения</translation>
    </message>
    <message>
        <source>save the device&apos;s image into FILE, or into the backups folder</source>
        <translation>сохранение образа прибора в FILE или в папку резервных копий</translation>
    </message>
    <message>
        <source>write a backup&apos;s settings back (the device keeps its counters unless --with-counters)</source>
        <translation>запись настроек из резервной копии обратно в прибор (счетчики прибора сохраняются, если не указан --with-counters)</translation>
    </message>
    <message>
        <source>a production station: consecutive serial numbers for a batch of devices on one or more fixtures (--json: a JSON object a line, per event and device, then the summary)</source>
        <translation>производственная станция: последовательные заводские номера для партии приборов на одном или нескольких приспособлениях (--json: по объекту JSON в строке на каждое событие и прибор, затем итог)</translation>
    </message>
    <message>
        <source>the commissioning protocol (PDF) of the device&apos;s last write, a journal line, or the device now</source>
        <translation>протокол ввода в эксплуатацию (PDF) по последней записи в прибор, по строке журнала или по текущему состоянию прибора</translation>
    </message>
    <message>
        <source>[--map COMn=PATH]</source>
        <translation>[--map COMn=PATH]</translation>
    </message>
    <message>
        <source>[--serial N] [--address A] [--ch1 SPEC] [--ch2 SPEC] [--v2-reset yes|no] [--leave]</source>
        <translation>[--serial N] [--address A] [--ch1 SPEC] [--ch2 SPEC] [--v2-reset yes|no] [--leave]</translation>
    </message>
    <message>
        <source>SECONDS</source>
        <translation>СЕКУНДЫ</translation>
    </message>
    <message>
        <source>[--tp1 H:MM] [--tp2 H:MM] [--v1 X] [--v2 X]</source>
        <translation>[--tp1 H:MM] [--tp2 H:MM] [--v1 X] [--v2 X]</translation>
    </message>
    <message>
        <source>[FILE]</source>
        <translation>[FILE]</translation>
    </message>
    <message>
        <source>(--serial-from N --count K | --plan FILE.csv) [--port P]... [--address A] [--ch1 SPEC] ...</source>
        <translation>(--serial-from N --count K | --plan FILE.csv) [--port P]... [--address A] [--ch1 SPEC] ...</translation>
    </message>
    <message>
        <source>[--now | --line TIME] [--out FILE] [--engineer TEXT] ...</source>
        <translation>[--now | --line TIME] [--out FILE] [--engineer TEXT] ...</translation>
    </message>
    <message>
        <source>Usage: zenda [global options] COMMAND [options]</source>
        <translation>Использование: zenda [общие параметры] КОМАНДА [параметры]</translation>
    </message>
    <message>
        <source>Usage: zenda [global options] %1 %2</source>
        <translation>Использование: zenda [общие параметры] %1 %2</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Параметры:</translation>
    </message>
    <message>
        <source>(no options of its own)</source>
        <translation>(собственных параметров нет)</translation>
    </message>
    <message>
        <source>The global options (zenda --help) go before or after the command.</source>
        <translation>Общие параметры (zenda --help) указываются до или после команды.</translation>
    </message>
    <message>
        <source>The service tool for ZENDA devices, from the command line.</source>
        <translation>Сервисная программа для приборов ZENDA в командной строке.</translation>
    </message>
    <message>
        <source>Commands:</source>
        <translation>Команды:</translation>
    </message>
    <message>
        <source>Global options:</source>
        <translation>Общие параметры:</translation>
    </message>
    <message>
        <source>Channel SPEC: value=0.01,type=pulse|fast|freq,test=yes|no (or the window&apos;s own texts).</source>
        <translation>SPEC канала: value=0.01,type=pulse|fast|freq,test=yes|no (или тексты, как в оконной программе).</translation>
    </message>
    <message>
        <source>Exit status: 0 done, 1 device or line error, 2 usage or refused input, 3 port could not be opened, 128+N stopped by signal N before anything was written.</source>
        <translation>Код завершения: 0 выполнено, 1 ошибка прибора или линии, 2 ошибка вызова или отклоненный ввод, 3 не удалось открыть порт, 128+N остановлено сигналом N до какой-либо записи.</translation>
    </message>
    <message>
        <source>Writing commands ask y/N on a terminal; without one they need --yes.</source>
        <translation>Команды записи запрашивают подтверждение (д/Н) в терминале; без терминала нужен --yes.</translation>
    </message>
    <message>
        <source>zenda COMMAND --help: the command&apos;s own options; zenda --help-all: every command&apos;s.</source>
        <translation>zenda КОМАНДА --help: параметры команды; zenda --help-all: параметры всех команд.</translation>
    </message>
    <message>
        <source>COM1..COM16 (resolved as the window resolves it) or a device path.</source>
        <translation>COM1..COM16 (сопоставляется так же, как в оконной программе) или путь к устройству.</translation>
    </message>
    <message>
        <source>4800 or 9600.</source>
        <translation>4800 или 9600.</translation>
    </message>
    <message>
        <source>rate</source>
        <translation>скорость</translation>
    </message>
    <message>
        <source>One JSON object on standard output.</source>
        <translation>Один объект JSON в стандартный вывод.</translation>
    </message>
    <message>
        <source>Every byte on the line, with time and direction, on standard error.</source>
        <translation>Каждый байт на линии, со временем и направлением, в стандартный поток ошибок.</translation>
    </message>
    <message>
        <source>Write without asking.</source>
        <translation>Записывать без подтверждения.</translation>
    </message>
    <message>
        <source>Write even when the image backup cannot be saved.</source>
        <translation>Записывать, даже если не удается сохранить резервную копию образа.</translation>
    </message>
    <message>
        <source>This help; after a command, the command&apos;s.</source>
        <translation>Эта справка; после команды — справка по команде.</translation>
    </message>
    <message>
        <source>This help and every command&apos;s options.</source>
        <translation>Эта справка и параметры всех команд.</translation>
    </message>
    <message>
        <source>The version.</source>
        <translation>Версия.</translation>
    </message>
    <message>
        <source>Map COMn to a device path in the per-user settings; COMn= removes it.</source>
        <translation>Назначить COMn путь к устройству в настройках пользователя; COMn= снимает назначение.</translation>
    </message>
    <message>
        <source>Serial number, 0..65535.</source>
        <translation>Заводской номер, 0..65535.</translation>
    </message>
    <message>
        <source>Network address, 1..63.</source>
        <translation>Сетевой адрес, 1..63.</translation>
    </message>
    <message>
        <source>Channel 1: value=,type=,test=.</source>
        <translation>Канал 1: value=,type=,test=.</translation>
    </message>
    <message>
        <source>Channel 2: value=,type=,test=.</source>
        <translation>Канал 2: value=,type=,test=.</translation>
    </message>
    <message>
        <source>Whether the V2 counter may be reset.</source>
        <translation>Разрешен ли сброс счетчика V2.</translation>
    </message>
    <message>
        <source>Leave initialization mode afterwards.</source>
        <translation>Затем выйти из режима инициализации.</translation>
    </message>
    <message>
        <source>Restore the four counters too.</source>
        <translation>Восстановить также все четыре счетчика.</translation>
    </message>
    <message>
        <source>Allow a backup of another serial number.</source>
        <translation>Разрешить резервную копию с другим заводским номером.</translation>
    </message>
    <message>
        <source>Only this serial number&apos;s lines.</source>
        <translation>Только строки с этим заводским номером.</translation>
    </message>
    <message>
        <source>Of the device as it is now (a read), not of its last write.</source>
        <translation>По текущему состоянию прибора (чтение), а не по последней записи.</translation>
    </message>
    <message>
        <source>Of this journal line (its time, as `zenda journal` prints it).</source>
        <translation>По этой строке журнала (ее время, как его выводит `zenda journal`).</translation>
    </message>
    <message>
        <source>Write the PDF here (default: the protocols folder).</source>
        <translation>Куда записать PDF (по умолчанию — в папку протоколов).</translation>
    </message>
    <message>
        <source>The organisation (kept for the next protocol).</source>
        <translation>Организация (запоминается для следующего протокола).</translation>
    </message>
    <message>
        <source>The engineer (kept).</source>
        <translation>Инженер (запоминается).</translation>
    </message>
    <message>
        <source>The site, the metering point&apos;s object (kept).</source>
        <translation>Объект узла учета (запоминается).</translation>
    </message>
    <message>
        <source>The site&apos;s address (kept).</source>
        <translation>Адрес объекта (запоминается).</translation>
    </message>
    <message>
        <source>The customer (kept).</source>
        <translation>Заказчик (запоминается).</translation>
    </message>
    <message>
        <source>The first serial number of the batch.</source>
        <translation>Первый заводской номер партии.</translation>
    </message>
    <message>
        <source>How many devices the batch holds.</source>
        <translation>Количество приборов в партии.</translation>
    </message>
    <message>
        <source>A plan: a header row (serial, address, ch1, ch2, v2-reset), then a device a row.</source>
        <translation>План: строка заголовка (serial, address, ch1, ch2, v2-reset), затем по строке на прибор.</translation>
    </message>
    <message>
        <source>A fixture: COM1..COM16 or a device path; give one --port a fixture.</source>
        <translation>Приспособление: COM1..COM16 или путь к устройству; по одному --port на приспособление.</translation>
    </message>
    <message>
        <source>Network address, 1..63, where the plan gives none.</source>
        <translation>Сетевой адрес, 1..63, если план его не задает.</translation>
    </message>
    <message>
        <source>Channel 1 where the plan gives none: value=,type=,test=.</source>
        <translation>Канал 1, если план его не задает: value=,type=,test=.</translation>
    </message>
    <message>
        <source>Channel 2 where the plan gives none: value=,type=,test=.</source>
        <translation>Канал 2, если план его не задает: value=,type=,test=.</translation>
    </message>
    <message>
        <source>Whether the V2 counter may be reset, where the plan does not say.</source>
        <translation>Разрешен ли сброс счетчика V2, если план этого не задает.</translation>
    </message>
    <message>
        <source>Renumber devices that already hold a serial number.</source>
        <translation>Перенумеровывать приборы, у которых уже есть заводской номер.</translation>
    </message>
    <message>
        <source>Append a CSV row a device to FILE.</source>
        <translation>Дописывать в FILE по строке CSV на прибор.</translation>
    </message>
    <message>
        <source>Make each device&apos;s commissioning protocol (PDF).</source>
        <translation>Создавать протокол ввода в эксплуатацию (PDF) для каждого прибора.</translation>
    </message>
    <message>
        <source>How often the model query looks for a device, in ms (default 1000).</source>
        <translation>Период запроса модели при поиске прибора, мс (по умолчанию 1000).</translation>
    </message>
    <message>
        <source>Operating time 1, hours:minutes.</source>
        <translation>Время наработки 1, часы:минуты.</translation>
    </message>
    <message>
        <source>Operating time 2, hours:minutes.</source>
        <translation>Время наработки 2, часы:минуты.</translation>
    </message>
    <message>
        <source>Volume 1, in the channel&apos;s units (m3).</source>
        <translation>Объем 1, в единицах канала (м³).</translation>
    </message>
    <message>
        <source>Volume 2, in the channel&apos;s units (m3).</source>
        <translation>Объем 2, в единицах канала (м³).</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>да</translation>
    </message>
    <message>
        <source>no</source>
        <translation>нет</translation>
    </message>
    <message>
        <source>done</source>
        <translation>выполнено</translation>
    </message>
    <message>
        <source>model</source>
        <translation>модель</translation>
    </message>
    <message>
        <source>serial number</source>
        <translation>заводской номер</translation>
    </message>
    <message>
        <source>address</source>
        <translation>сетевой адрес</translation>
    </message>
    <message>
        <source>V2 may be reset</source>
        <translation>сброс V2 разрешен</translation>
    </message>
    <message>
        <source>RTC correction</source>
        <translation>автокоррекция RTC</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 с</translation>
    </message>
    <message>
        <source>initialized</source>
        <translation>инициализирован</translation>
    </message>
    <message>
        <source>channel %1</source>
        <translation>канал %1</translation>
    </message>
    <message>
        <source>value %1, type %2, line test %3</source>
        <translation>цена входного импульса %1, тип %2, тест линии %3</translation>
    </message>
    <message>
        <source>image</source>
        <translation>образ</translation>
    </message>
    <message>
        <source>[y/N]</source>
        <translation>[д/Н]</translation>
    </message>
    <message>
        <source>not a terminal: nothing is written without --yes</source>
        <translation>не терминал: без --yes ничего не записывается</translation>
    </message>
    <message>
        <source>declined: nothing written</source>
        <translation>отказ: ничего не записано</translation>
    </message>
    <message>
        <source>standard output: %1</source>
        <translation>стандартный вывод: %1</translation>
    </message>
    <message>
        <source>The backup could not be saved in %1 (%2); nothing written (--no-backup writes without one)</source>
        <translation>Не удалось сохранить резервную копию в %1 (%2); ничего не записано (--no-backup записывает без нее)</translation>
    </message>
    <message>
        <source>Restore these settings from %1?</source>
        <translation>Восстановить эти настройки из %1?</translation>
    </message>
    <message>
        <source>The backup is of serial number %1, the device is %2. Write another device&apos;s settings to this one?</source>
        <translation>Резервная копия сделана с заводского номера %1, а у прибора номер %2. Записать в этот прибор настройки другого прибора?</translation>
    </message>
    <message>
        <source>Give --other-serial to do so.</source>
        <translation>Для этого укажите --other-serial.</translation>
    </message>
    <message>
        <source>the service journal cannot be written: %1</source>
        <translation>не удается записать сервисный журнал: %1</translation>
    </message>
    <message>
        <source>--port is COM1..COM16 or a device path, not &apos;%1&apos;</source>
        <translation>--port задается как COM1..COM16 или путь к устройству, а не «%1»</translation>
    </message>
    <message>
        <source>Leave initialization mode?</source>
        <translation>Выйти из режима инициализации?</translation>
    </message>
    <message>
        <source>the correction is a whole number of seconds, -25..25, not &apos;%1&apos;</source>
        <translation>коррекция — целое число секунд, -25..25, а не «%1»</translation>
    </message>
    <message>
        <source>Set the RTC correction to %1 s?</source>
        <translation>Установить автокоррекцию RTC %1 с?</translation>
    </message>
    <message>
        <source>--now and --line name two different protocols: give one</source>
        <translation>--now и --line задают два разных протокола: укажите один</translation>
    </message>
    <message>
        <source>protocol: the file name is empty</source>
        <translation>protocol: пустое имя файла</translation>
    </message>
    <message>
        <source>the journal line of %1 is not a completed write with its image kept: no protocol</source>
        <translation>строка журнала от %1 — не завершенная запись с сохраненным образом: протокола нет</translation>
    </message>
    <message>
        <source>no journal line of %1 (zenda journal lists them)</source>
        <translation>нет строки журнала от %1 (строки выводит zenda journal)</translation>
    </message>
    <message>
        <source>the journal holds no completed write of %1 № %2; --now makes the protocol of the device as it is</source>
        <translation>в журнале нет завершенной записи прибора %1 № %2; --now создает протокол по текущему состоянию прибора</translation>
    </message>
    <message>
        <source>protocol: %1</source>
        <translation>протокол: %1</translation>
    </message>
    <message>
        <source>%1... %2 s</source>
        <translation>%1... %2 с</translation>
    </message>
    <message>
        <source>waiting for the device</source>
        <translation>ожидание прибора</translation>
    </message>
    <message>
        <source>waiting for the device&apos;s echo of the image (up to 4 s)</source>
        <translation>ожидание эха образа от прибора (до 4 с)</translation>
    </message>
    <message>
        <source>writing the image</source>
        <translation>запись образа</translation>
    </message>
    <message>
        <source>waiting for the device to leave initialization mode (up to 4 s)</source>
        <translation>ожидание выхода прибора из режима инициализации (до 4 с)</translation>
    </message>
    <message>
        <source>waiting for the device&apos;s image (up to 4 s)</source>
        <translation>ожидание образа от прибора (до 4 с)</translation>
    </message>
    <message>
        <source>waiting for the device&apos;s model (up to 6 s)</source>
        <translation>ожидание модели прибора (до 6 с)</translation>
    </message>
    <message>
        <source>driver error %1 (system error %2)</source>
        <translation>ошибка драйвера %1 (системная ошибка %2)</translation>
    </message>
    <message>
        <source>driver error %1 (system error %2: %3)</source>
        <translation>ошибка драйвера %1 (системная ошибка %2: %3)</translation>
    </message>
    <message>
        <source>stopped (signal %1) before anything was written</source>
        <translation>остановлено (сигнал %1) до какой-либо записи</translation>
    </message>
    <message>
        <source>%1: the plan is UTF-16; save it as UTF-8 (CSV UTF-8)</source>
        <translation>%1: план в кодировке UTF-16; сохраните его в UTF-8 (CSV UTF-8)</translation>
    </message>
    <message>
        <source>%1: row %2: %3</source>
        <translation>%1: строка %2: %3</translation>
    </message>
    <message>
        <source>the plan is empty (a header row naming the columns: serial, address, ch1, ch2, v2-reset)</source>
        <translation>план пуст (нужна строка заголовка с именами столбцов: serial, address, ch1, ch2, v2-reset)</translation>
    </message>
    <message>
        <source>unknown column &apos;%1&apos; (serial, address, ch1, ch2, v2-reset)</source>
        <translation>неизвестный столбец «%1» (serial, address, ch1, ch2, v2-reset)</translation>
    </message>
    <message>
        <source>the column &apos;%1&apos; is named twice</source>
        <translation>столбец «%1» указан дважды</translation>
    </message>
    <message>
        <source>no column &apos;serial&apos;</source>
        <translation>нет столбца «serial»</translation>
    </message>
    <message>
        <source>a quote is not closed</source>
        <translation>не закрыта кавычка</translation>
    </message>
    <message>
        <source>more cells than the header names</source>
        <translation>ячеек больше, чем столбцов в заголовке</translation>
    </message>
    <message>
        <source>a control character in the cell &apos;%1&apos;</source>
        <translation>управляющий символ в ячейке «%1»</translation>
    </message>
    <message>
        <source>the serial number &apos;%1&apos; is not a number</source>
        <translation>заводской номер «%1» — не число</translation>
    </message>
    <message>
        <source>the address &apos;%1&apos; is not a number</source>
        <translation>сетевой адрес «%1» — не число</translation>
    </message>
    <message>
        <source>v2-reset is yes or no, not &apos;%1&apos;</source>
        <translation>v2-reset принимает yes или no, а не «%1»</translation>
    </message>
    <message>
        <source>the plan holds no device</source>
        <translation>в плане нет ни одного прибора</translation>
    </message>
    <message>
        <source>row %1: %2</source>
        <translation>строка %1: %2</translation>
    </message>
    <message>
        <source>the serial number %1 is not 1..65535</source>
        <translation>заводской номер %1 вне диапазона 1..65535</translation>
    </message>
    <message>
        <source>the serial number %1 is in the plan twice (row %2)</source>
        <translation>заводской номер %1 встречается в плане дважды (строка %2)</translation>
    </message>
    <message>
        <source>the serial number %1 is in the plan twice</source>
        <translation>заводской номер %1 встречается в плане дважды</translation>
    </message>
    <message>
        <source>the address %1 is not 1..63</source>
        <translation>сетевой адрес %1 вне диапазона 1..63</translation>
    </message>
    <message>
        <source>the service journal cannot be written: nothing written, the station stops</source>
        <translation>не удается записать сервисный журнал: ничего не записано, станция останавливается</translation>
    </message>
    <message>
        <source>waiting</source>
        <comment>fixture state</comment>
        <translation>ожидание</translation>
    </message>
    <message>
        <source>device</source>
        <comment>fixture state</comment>
        <translation>прибор найден</translation>
    </message>
    <message>
        <source>writing</source>
        <comment>fixture state</comment>
        <translation>запись</translation>
    </message>
    <message>
        <source>done</source>
        <comment>fixture state</comment>
        <translation>готово</translation>
    </message>
    <message>
        <source>failed</source>
        <comment>fixture state</comment>
        <translation>сбой</translation>
    </message>
    <message>
        <source>skipped</source>
        <comment>fixture state</comment>
        <translation>пропущен</translation>
    </message>
    <message>
        <source>take it off</source>
        <comment>fixture state</comment>
        <translation>снимите прибор</translation>
    </message>
    <message>
        <source>gone</source>
        <comment>fixture state</comment>
        <translation>прибор снят</translation>
    </message>
    <message>
        <source>finished</source>
        <comment>fixture state</comment>
        <translation>завершено</translation>
    </message>
    <message>
        <source>note</source>
        <comment>fixture state</comment>
        <translation>примечание</translation>
    </message>
    <message>
        <source>failed, spoiled</source>
        <comment>fixture state</comment>
        <translation>сбой, испорчен</translation>
    </message>
    <message>
        <source>the results file %1 cannot be written: %2</source>
        <translation>не удается записать файл результатов %1: %2</translation>
    </message>
    <message>
        <source>the number is spoiled: the write began</source>
        <translation>номер испорчен: запись была начата</translation>
    </message>
    <message>
        <source>the number is used: written and verified</source>
        <translation>номер использован: записан и проверен</translation>
    </message>
    <message>
        <source>the number is free again</source>
        <translation>номер снова свободен</translation>
    </message>
    <message>
        <source>on the fixture %1 the device № %2 is numbered already</source>
        <translation>на приспособлении %1 прибор № %2 уже пронумерован</translation>
    </message>
    <message>
        <source>fixture</source>
        <comment>live table heading</comment>
        <translation>приспособление</translation>
    </message>
    <message>
        <source>state</source>
        <comment>live table heading</comment>
        <translation>состояние</translation>
    </message>
    <message>
        <source>number</source>
        <comment>live table heading</comment>
        <translation>номер</translation>
    </message>
    <message>
        <source>time</source>
        <comment>live table heading: how long in this state</comment>
        <translation>время</translation>
    </message>
    <message>
        <source>done %1, failed %2, spoiled %3, skipped %4, left in the plan %5; %6 an hour; %7</source>
        <translation>готово %1, сбоев %2, испорчено %3, пропущено %4, осталось в плане %5; %6 в час; %7</translation>
    </message>
    <message>
        <source>station: --trace is for one command on one line; a failed device&apos;s traffic is in the journal</source>
        <translation>station: --trace — для одной команды на одной линии; обмен с прибором при сбое есть в журнале</translation>
    </message>
    <message>
        <source>station: give the plan as --serial-from N --count K, or as --plan FILE.csv</source>
        <translation>station: задайте план через --serial-from N --count K или через --plan FILE.csv</translation>
    </message>
    <message>
        <source>--serial-from is a serial number, 1..65535</source>
        <translation>--serial-from — заводской номер, 1..65535</translation>
    </message>
    <message>
        <source>--count is a number of devices, 1 or more</source>
        <translation>--count — число приборов, 1 или более</translation>
    </message>
    <message>
        <source>--serial-from %1 --count %2 goes past 65535</source>
        <translation>--serial-from %1 --count %2 выходит за 65535</translation>
    </message>
    <message>
        <source>--plan is empty: give the plan&apos;s file</source>
        <translation>--plan пуст: укажите файл плана</translation>
    </message>
    <message>
        <source>the plan %1 is not a regular file</source>
        <translation>план %1 не является обычным файлом</translation>
    </message>
    <message>
        <source>the plan %1 cannot be read: %2</source>
        <translation>не удается прочитать план %1: %2</translation>
    </message>
    <message>
        <source>the plan %1 is too large for a plan</source>
        <translation>файл %1 слишком велик для плана</translation>
    </message>
    <message>
        <source>--%1 is empty (value=, type=, test=)</source>
        <translation>--%1 пуст (value=, type=, test=)</translation>
    </message>
    <message>
        <source>the fixture %1 is named twice</source>
        <translation>приспособление %1 указано дважды</translation>
    </message>
    <message>
        <source>at most 16 fixtures</source>
        <translation>не более 16 приспособлений</translation>
    </message>
    <message>
        <source>--poll is 20..10000 ms</source>
        <translation>--poll принимает 20..10000 мс</translation>
    </message>
    <message>
        <source>--results is empty: give the results file</source>
        <translation>--results пуст: укажите файл результатов</translation>
    </message>
    <message>
        <source>the results file %1 is not a regular file</source>
        <translation>файл результатов %1 не является обычным файлом</translation>
    </message>
    <message>
        <source>the results file %1 holds another table (its first line is not &quot;%2&quot;)</source>
        <translation>в файле результатов %1 другая таблица (его первая строка не «%2»)</translation>
    </message>
    <message>
        <source>the data folder %1 cannot be made</source>
        <translation>не удается создать папку данных %1</translation>
    </message>
    <message>
        <source>another station is running (process %1): run one station, with all its fixtures</source>
        <translation>уже работает другая станция (процесс %1): запускайте одну станцию со всеми приспособлениями</translation>
    </message>
    <message>
        <source>the journal holds no line of this write</source>
        <translation>в журнале нет строки об этой записи</translation>
    </message>
    <message>
        <source>nothing is left in the plan: every number is used (the summary says where)</source>
        <translation>в плане ничего не осталось: все номера использованы (где — см. итог)</translation>
    </message>
    <message>
        <source>stopping: each fixture ends after its device (Ctrl+C again ends at once)</source>
        <translation>остановка: каждое приспособление завершит работу после своего прибора (повторное Ctrl+C — немедленно)</translation>
    </message>
    <message>
        <source>the station stopped: the service journal cannot be written (%1)</source>
        <translation>станция остановлена: не удается записать сервисный журнал (%1)</translation>
    </message>
    <message>
        <source>station: done %1, failed %2, spoiled %3, skipped %4, left in the plan %5; %6, %7 an hour</source>
        <translation>станция: готово %1, сбоев %2, испорчено %3, пропущено %4, осталось в плане %5; %6, %7 в час</translation>
    </message>
    <message>
        <source>numbers used:</source>
        <translation>использованные номера:</translation>
    </message>
    <message>
        <source>done</source>
        <comment>number state</comment>
        <translation>готово</translation>
    </message>
    <message>
        <source>spoiled</source>
        <comment>number state</comment>
        <translation>испорчен</translation>
    </message>
    <message>
        <source>(an earlier run)</source>
        <translation>(предыдущий запуск)</translation>
    </message>
    <message>
        <source>the plan is used up</source>
        <translation>план исчерпан</translation>
    </message>
    <message>
        <source>the results file lacks rows: it could not be written (the journal has every device)</source>
        <translation>в файле результатов не хватает строк: их не удалось записать (в журнале есть все приборы)</translation>
    </message>
    <message>
        <source>the protocol is drawn by zenda-draw or zenda-init, and neither is installed beside zenda in %1</source>
        <translation>протокол рисует программа zenda-draw или zenda-init, а ни одной из них нет рядом с zenda в %1</translation>
    </message>
    <message>
        <source>the protocol could not be drawn: %1</source>
        <translation>протокол не удалось нарисовать: %1</translation>
    </message>
    <message>
        <source>no answer in two minutes</source>
        <translation>нет ответа две минуты</translation>
    </message>
    <message>
        <source>it ended with status %1</source>
        <translation>она завершилась с кодом %1</translation>
    </message>
    <message>
        <source>what it wrote is not a PDF</source>
        <translation>она записала не PDF</translation>
    </message>
    <message>
        <source>it stopped abnormally</source>
        <translation>она завершилась аварийно</translation>
    </message>
    <message>
        <source>the team&apos;s server (PostgreSQL) that the station PCs of a line share their numbers on: this user&apos;s connection, its status; the administrator&apos;s set-up and a login role for each PC</source>
        <translation>сервер группы (PostgreSQL), на котором ПК станций одной линии делят заводские номера: подключение этого пользователя, его состояние; настройка администратором и учетная запись для каждого ПК</translation>
    </message>
    <message>
        <source>Make the station&apos;s ledger anew from the journal and the backups, when it is missing.</source>
        <translation>Создать книгу номеров станции заново по журналу и резервным копиям, если ее нет.</translation>
    </message>
    <message>
        <source>Take the numbers from the team&apos;s server, shared by every station PC of the line.</source>
        <translation>Брать номера на сервере группы, общем для всех ПК станций линии.</translation>
    </message>
    <message>
        <source>no number: %1; nothing is written until it answers</source>
        <translation>нет номера: %1; ничего не записывается, пока он не ответит</translation>
    </message>
    <message>
        <source>the station&apos;s ledger cannot be written (%1): nothing written, the station stops</source>
        <translation>не удается записать книгу номеров станции (%1): ничего не записано, станция останавливается</translation>
    </message>
    <message>
        <source>the number %1 could not be recorded first (%2): nothing written</source>
        <translation>номер %1 не удалось сначала записать в книгу (%2): ничего не записано</translation>
    </message>
    <message>
        <source>take the device off and check it: its write was not verified, it may hold № %1</source>
        <translation>снимите прибор и проверьте его: запись не подтверждена, в нем может быть № %1</translation>
    </message>
    <message>
        <source>%1 numbers&apos; ends are not on the team&apos;s server yet: the ledger keeps them, the next station start reports them</source>
        <translation>итоги номеров (%1) еще не переданы на сервер группы: они хранятся в книге номеров и будут переданы при следующем запуске станции</translation>
    </message>
    <message>
        <source>the station stopped: its ledger cannot be written (%1)</source>
        <translation>станция остановлена: не удается записать книгу номеров (%1)</translation>
    </message>
    <message>
        <source>usage: zenda team %1</source>
        <translation>использование: zenda team %1</translation>
    </message>
    <message>
        <source>saved for this user: %1
%2</source>
        <translation>сохранено для этого пользователя: %1
%2</translation>
    </message>
    <message>
        <source>reached: %1</source>
        <translation>сервер доступен: %1</translation>
    </message>
    <message>
        <source>not reached now: %1</source>
        <translation>сейчас сервер недоступен: %1</translation>
    </message>
    <message>
        <source>the PC %1 may now take numbers. On that PC:
  1. put this line into its password file (~/.pgpass, mode 0600; on Windows %APPDATA%\postgresql\pgpass.conf):
     %2
  2. give it the server&apos;s certificate authority (~/.postgresql/root.crt; on Windows %APPDATA%\postgresql\root.crt)
  3. run: zenda team connect &apos;%3&apos;
The password is shown this once.</source>
        <translation>ПК %1 теперь может брать номера. На этом ПК:
  1. добавьте эту строку в файл паролей (~/.pgpass, права 0600; в Windows %APPDATA%\postgresql\pgpass.conf):
     %2
  2. положите сертификат центра сертификации сервера (~/.postgresql/root.crt; в Windows %APPDATA%\postgresql\root.crt)
  3. выполните: zenda team connect &apos;%3&apos;
Пароль показывается один раз.</translation>
    </message>
    <message>
        <source>%1; no device is written until it answers</source>
        <translation>%1; ни один прибор не записывается, пока он не ответит</translation>
    </message>
    <message>
        <source>no number of this plan in it</source>
        <translation>номеров этого плана в ней нет</translation>
    </message>
    <message>
        <source>number %1 kept as used</source>
        <translation>номер %1 считается использованным</translation>
    </message>
    <message>
        <source>numbers %1 kept as used</source>
        <translation>номера %1 считаются использованными</translation>
    </message>
    <message>
        <source>%1: line %2 cut short, %3</source>
        <translation>%1: строка %2 оборвана, %3</translation>
    </message>
    <message>
        <source>%1: line %2 damaged, %3</source>
        <translation>%1: строка %2 повреждена, %3</translation>
    </message>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>не удается прочитать %1: %2</translation>
    </message>
    <message>
        <source>%1: line %2 cut short before a number could be read from it</source>
        <translation>%1: строка %2 оборвана раньше, чем в ней можно прочитать номер</translation>
    </message>
    <message>
        <source>%1: %2 lines are not as the journal writes them (cut, or saved by another program), %3</source>
        <translation>%1: строк не в том виде, в каком их пишет журнал (оборваны или сохранены другой программой): %2, %3</translation>
    </message>
    <message>
        <source>the station&apos;s ledger %1 is missing, while the journal and the backups show numbers of this plan as used (%2): nothing written; run the station with --recover to make the ledger anew from them</source>
        <translation>книги номеров станции %1 нет, а журнал и резервные копии показывают использованные номера этого плана (%2): ничего не записано; запустите станцию с --recover, чтобы создать книгу заново по ним</translation>
    </message>
    <message>
        <source>--recover: the ledger %1 lacked nothing</source>
        <translation>--recover: в книге номеров %1 ничего не недоставало</translation>
    </message>
    <message>
        <source>--recover: the ledger %1 took from the journal and the backups: done %2; used %3</source>
        <translation>--recover: книга номеров %1 взяла из журнала и резервных копий: готово %2; использовано %3</translation>
    </message>
    <message>
        <source>the journal and the backups show %1 as used, which the ledger does not: kept as used</source>
        <translation>журнал и резервные копии показывают номера %1 использованными, а книга номеров нет: они считаются использованными</translation>
    </message>
    <message>
        <source>ZENDA_TEAM_DB is set and empty: give the team&apos;s server, or unset it</source>
        <translation>ZENDA_TEAM_DB задана и пуста: укажите сервер группы или удалите переменную</translation>
    </message>
    <message>
        <source>no team&apos;s server: run &apos;zenda team connect CONNINFO&apos; or set ZENDA_TEAM_DB</source>
        <translation>сервер группы не задан: выполните &apos;zenda team connect CONNINFO&apos; или задайте ZENDA_TEAM_DB</translation>
    </message>
    <message>
        <source>the connection string is empty</source>
        <translation>строка подключения пуста</translation>
    </message>
    <message>
        <source>the settings cannot be saved</source>
        <translation>не удается сохранить настройки</translation>
    </message>
    <message>
        <source>%1, schema %2 of %3%4</source>
        <translation>%1, схема %2 из %3%4</translation>
    </message>
    <message>
        <source> (the administrator runs &apos;zenda team setup&apos;)</source>
        <translation> (администратор выполняет &apos;zenda team setup&apos;)</translation>
    </message>
    <message>
        <source>%1: the schema is up to date (version %2)</source>
        <translation>%1: схема актуальна (версия %2)</translation>
    </message>
    <message>
        <source>%1: schema migrations applied: %2</source>
        <translation>%1: применены изменения схемы: %2</translation>
    </message>
    <message>
        <source>the team&apos;s server</source>
        <translation>сервер группы</translation>
    </message>
    <message>
        <source>this zenda was built without the team&apos;s server (libpq)</source>
        <translation>эта сборка zenda не поддерживает сервер группы (libpq)</translation>
    </message>
    <message>
        <source>the data folder %1 cannot be written: the station&apos;s lock cannot be made there</source>
        <translation>в папку данных %1 нельзя записать: блокировку станции там не создать</translation>
    </message>
    <message>
        <source>--serial is a serial number, 0..65535, not &apos;%1&apos;</source>
        <translation>--serial — заводской номер, 0..65535, а не «%1»</translation>
    </message>
    <message>
        <source>a value &apos;%1&apos; under no column</source>
        <translation>значение «%1» вне столбцов</translation>
    </message>
    <message>
        <source>no row left in the plan fits this device (%1): take it off</source>
        <translation>ни одна оставшаяся строка плана не подходит к этому прибору (%1): снимите его</translation>
    </message>
    <message>
        <source>row %1 (№ %2) set aside for this %3: %4; kept for a device that takes it</source>
        <translation>строка %1 (№ %2) отложена для этого %3: %4; она останется для прибора, который ее примет</translation>
    </message>
    <message>
        <source>%1 names %2 writes: %3; no protocol is guessed</source>
        <translation>ко времени %1 относятся записи (%2): %3; протокол наугад не выбирается</translation>
    </message>
    <message>
        <source>--%1 is a number with at most %2 digits and %3 decimal for this channel, not &apos;%4&apos;</source>
        <translation>--%1 для этого канала — число не более чем с %2 цифрами до запятой и %3 знаком после, а не «%4»</translation>
    </message>
    <message>
        <source>Channel SPEC: value=, type=, test=. Types: pulse (longer than 50 ms, or a dry contact; pulse values 0.01, 0.1, 1 m3 a pulse; a line test may not be on), fast (1-5 ms; 0.001, 0.01, 0.1), freq (a frequency input, ZENDA2 and ZENDA3 only; no pulse value). ZENDA1 takes pulse and fast only.</source>
        <translation>SPEC канала: value=, type=, test=. Типы: pulse (длиннее 50 мс или «сухой контакт»; цена импульса 0.01, 0.1, 1 м3 на импульс; тест линии не включается), fast (1-5 мс; 0.001, 0.01, 0.1), freq (частотный вход, только ZENDA2 и ZENDA3; без цены импульса). ZENDA1 принимает только pulse и fast.</translation>
    </message>
    <message>
        <source>The engineer&apos;s position, for the signature (kept).</source>
        <translation>Должность инженера для подписи (запоминается).</translation>
    </message>
    <message>
        <source>The customer&apos;s representative who signs (kept).</source>
        <translation>Представитель заказчика, который подписывает (запоминается).</translation>
    </message>
    <message>
        <source>The representative&apos;s position (kept).</source>
        <translation>Должность представителя (запоминается).</translation>
    </message>
    <message>
        <source>The meter on channel 1: its type (this protocol only).</source>
        <translation>Счетчик на канале 1: его тип (только для этого протокола).</translation>
    </message>
    <message>
        <source>The meter on channel 1: its factory number.</source>
        <translation>Счетчик на канале 1: его заводской номер.</translation>
    </message>
    <message>
        <source>The meter on channel 1: its reading at commissioning, m3.</source>
        <translation>Счетчик на канале 1: показания при вводе в эксплуатацию, м³.</translation>
    </message>
    <message>
        <source>The meter on channel 2: its type (this protocol only).</source>
        <translation>Счетчик на канале 2: его тип (только для этого протокола).</translation>
    </message>
    <message>
        <source>The meter on channel 2: its factory number.</source>
        <translation>Счетчик на канале 2: его заводской номер.</translation>
    </message>
    <message>
        <source>The meter on channel 2: its reading at commissioning, m3.</source>
        <translation>Счетчик на канале 2: показания при вводе в эксплуатацию, м³.</translation>
    </message>
    <message>
        <source>fingerprint</source>
        <translation>отпечаток</translation>
    </message>
    <message>
        <source>%1 (SHA-256 of the settings, without the counters and the stamp, first 16 hex digits)</source>
        <translation>%1 (SHA-256 настроек, без счетчиков и отметки инициализации, первые 16 знаков)</translation>
    </message>
    <message>
        <source>--%1reading is a reading in m3 (digits, one decimal point), not &apos;%2&apos;</source>
        <translation>--%1reading — показания в м³ (цифры, одна десятичная запятая), а не «%2»</translation>
    </message>
    <message>
        <source>PC: %1, user %2</source>
        <translation>ПК: %1, пользователь %2</translation>
    </message>
    <message>
        <source>on the team&apos;s server: zenda restore --team %1</source>
        <translation>на сервере команды: zenda restore --team %1</translation>
    </message>
    <message>
        <source>another program of this PC is sending now; %1 lines wait</source>
        <translation>сейчас отправляет другая программа этого ПК; ждут отправки строк: %1</translation>
    </message>
    <message>
        <source>not sent: %1; %2 lines wait for the next sync</source>
        <translation>не отправлено: %1; строк ждут следующей отправки: %2</translation>
    </message>
    <message>
        <source>the service journal, newest first; --team: every PC&apos;s lines on the team&apos;s server</source>
        <translation>сервисный журнал, новые записи сначала; --team: строки всех ПК на сервере команды</translation>
    </message>
    <message>
        <source>send this PC&apos;s journal lines to the team&apos;s server now (each action sends them after it anyway, when it can); what was sent and what waits; then what the other PCs wrote, kept here to tell before a write</source>
        <translation>отправить строки журнала этого ПК на сервер команды сейчас (каждое действие и так отправляет их после себя, когда может); что отправлено и что ждет; затем узнать, что записали другие ПК (хранится здесь, чтобы предупредить перед записью)</translation>
    </message>
    <message>
        <source>FILE|--team SHA256 [--with-counters] [--other-serial]</source>
        <translation>FILE|--team SHA256 [--with-counters] [--other-serial]</translation>
    </message>
    <message>
        <source>[--serial N] [--team] [--limit N]</source>
        <translation>[--serial N] [--team] [--limit N]</translation>
    </message>
    <message>
        <source>Instead of FILE: the backup of this SHA-256 on the team&apos;s server, from any PC (zenda journal --team --json names them); checked against it before use.</source>
        <translation>Вместо FILE: резервная копия с этим SHA-256 на сервере команды, с любого ПК (их называет zenda journal --team --json); перед использованием сверяется с ним.</translation>
    </message>
    <message>
        <source>The department&apos;s journal on the team&apos;s server: every PC&apos;s lines, with the PC and its user.</source>
        <translation>Журнал отдела на сервере команды: строки всех ПК, с ПК и его пользователем.</translation>
    </message>
    <message>
        <source>a backup on the team&apos;s server is named by its SHA-256 (64 hex digits), not &apos;%1&apos;</source>
        <translation>резервная копия на сервере команды называется своим SHA-256 (64 шестнадцатеричные цифры), а не «%1»</translation>
    </message>
    <message>
        <source>the team&apos;s server has no backup %1</source>
        <translation>на сервере команды нет резервной копии %1</translation>
    </message>
    <message>
        <source>the team&apos;s server&apos;s copy of backup %1 is not what its SHA-256 says: not used</source>
        <translation>копия резервной копии %1 на сервере команды не совпадает со своим SHA-256: не используется</translation>
    </message>
    <message>
        <source>backup %1 saved as %2</source>
        <translation>резервная копия %1 сохранена как %2</translation>
    </message>
    <message>
        <source>protocol on the team&apos;s server: zenda team protocol %1 %2 FILE</source>
        <translation>протокол на сервере команды: zenda team protocol %1 %2 FILE</translation>
    </message>
    <message>
        <source>protocol %1 of %2 saved as %3</source>
        <translation>протокол %1 ПК %2 сохранен как %3</translation>
    </message>
    <message>
        <source>the team&apos;s server has no protocol %1 of %2</source>
        <translation>на сервере команды нет протокола %1 ПК %2</translation>
    </message>
    <message>
        <source>the team&apos;s server&apos;s copy of protocol %1 is not what its SHA-256 says: not used</source>
        <translation>копия протокола %1 на сервере команды не совпадает со своим SHA-256: не используется</translation>
    </message>
    <message>
        <source>note: № %1 was written on another PC after this PC&apos;s last write of it: %2 (user %3), %4, %5</source>
        <translation>заметка: прибор № %1 после последней записи с этого ПК записан на другом ПК: %2 (пользователь %3), %4, %5</translation>
    </message>
    <message>
        <source>sent %1 lines (%2 new on the server) and %3 protocols; %4 lines wait; heard of %5 writes by other PCs</source>
        <translation>отправлено строк: %1 (новых на сервере: %2), протоколов: %3; ждут отправки строк: %4; узнано о записях с других ПК: %5</translation>
    </message>
    <message>
        <source>the other PCs&apos; writes were not read: %1</source>
        <translation>записи с других ПК не получены: %1</translation>
    </message>
    <message>
        <source>team: connect CONNINFO | status | setup | add-pc NAME [DEPARTMENT] | department PC DEPARTMENT | pcs | remove-pc NAME | rename NAME NEW-NAME | resume PC... | fetch SHA256 FILE | protocol PC NAME FILE</source>
        <translation>team: connect CONNINFO | status | setup | add-pc ИМЯ [ОТДЕЛ] | department ПК ОТДЕЛ | pcs | remove-pc ИМЯ | rename ИМЯ НОВОЕ-ИМЯ | resume ПК... | fetch SHA256 FILE | protocol ПК ИМЯ FILE</translation>
    </message>
    <message>
        <source>connect CONNINFO | status | setup | add-pc NAME [DEPARTMENT] | department PC DEPARTMENT | pcs | remove-pc NAME | rename NAME NEW-NAME | resume PC... | fetch SHA256 FILE | protocol PC NAME FILE</source>
        <translation>connect CONNINFO | status | setup | add-pc ИМЯ [ОТДЕЛ] | department ПК ОТДЕЛ | pcs | remove-pc ИМЯ | rename ИМЯ НОВОЕ-ИМЯ | resume ПК... | fetch SHA256 FILE | protocol ПК ИМЯ FILE</translation>
    </message>
    <message>
        <source>the PC %1 reads the records of the PCs of no department</source>
        <translation>ПК %1 читает записи ПК без отдела</translation>
    </message>
    <message>
        <source>the PC %1 reads the records of department %2 only</source>
        <translation>ПК %1 читает записи только отдела %2</translation>
    </message>
    <message>
        <source>%1 was a PC already: its old password no longer works.
</source>
        <translation>ПК %1 уже был добавлен: его прежний пароль больше не действует.
</translation>
    </message>
    <message>
        <source>team protocol: the PC&apos;s name and the protocol&apos;s are not empty</source>
        <translation>team protocol: имя ПК и имя протокола не должны быть пустыми</translation>
    </message>
    <message>
        <source>the device&apos;s settings differ from its last completed write (%1): %2; --line TIME makes the protocol of a journal line, --now of the device as it is</source>
        <translation>настройки прибора отличаются от его последней выполненной записи (%1): %2; --line ВРЕМЯ составляет протокол строки журнала, --now — прибора как он есть</translation>
    </message>
    <message>
        <source>two devices hold № %1: the device on %2 and the one written on %3</source>
        <translation>два прибора хранят № %1: прибор на %2 и прибор, записанный на %3</translation>
    </message>
    <message>
        <source>№ %1 is held by the device on %2: nothing written, this device takes the next number</source>
        <translation>№ %1 хранит прибор на %2: ничего не записано, этот прибор получит следующий номер</translation>
    </message>
    <message>
        <source>%1 numbers of the plan were used by other PCs</source>
        <translation>номеров плана, использованных другими ПК: %1</translation>
    </message>
    <message>
        <source>%1 damaged journal lines were sent as damaged (zenda journal shows them)</source>
        <translation>поврежденных строк журнала отправлено как поврежденные: %1 (их показывает zenda journal)</translation>
    </message>
    <message>
        <source>%1: the PCs&apos; access was missing and is put back (%2); schema version %3</source>
        <translation>%1: доступа ПК не было, он восстановлен (%2); версия схемы %3</translation>
    </message>
    <message>
        <source>--limit is a number of lines, 1 or more, not &apos;%1&apos;</source>
        <translation>--limit - число строк, 1 или больше, а не &apos;%1&apos;</translation>
    </message>
    <message>
        <source>the department&apos;s journal was cut short: %1</source>
        <translation>журнал отдела прерван: %1</translation>
    </message>
    <message>
        <source>the team&apos;s server went back in time (%1): this PC told it the %2 numbers it used</source>
        <translation>сервер команды вернулся в прошлое (%1): этот ПК сообщил ему использованные им номера: %2</translation>
    </message>
    <message>
        <source>the team&apos;s server did not hold this PC&apos;s journal: all of it was sent again</source>
        <translation>на сервере команды не было журнала этого ПК: он отправлен весь заново</translation>
    </message>
    <message>
        <source>the number book gives no number until these PCs have told theirs: %1</source>
        <translation>книга номеров не выдает номеров, пока эти ПК не сообщат свои: %1</translation>
    </message>
    <message>
        <source>At most the newest N lines.</source>
        <translation>Не больше N последних строк.</translation>
    </message>
    <message>
        <source>the number book was not waiting for %1; it waits for: %2</source>
        <translation>книга номеров не ждала %1; она ждет: %2</translation>
    </message>
    <message>
        <source>the number book was not waiting for %1: it waits for no PC</source>
        <translation>книга номеров не ждала %1: она не ждет ни одного ПК</translation>
    </message>
    <message>
        <source>the number book gives numbers again</source>
        <translation>книга номеров снова выдает номера</translation>
    </message>
    <message>
        <source>the number book still waits for: %1</source>
        <translation>книга номеров еще ждет: %1</translation>
    </message>
    <message>
        <source>
the server went back in time (%1, %2): the number book gives no number until these PCs have told theirs (zenda sync on each): %3; to go on without them: zenda team resume %4</source>
        <translation>
сервер вернулся в прошлое (%1, %2): книга номеров не выдает номеров, пока эти ПК не сообщат свои (zenda sync на каждом): %3; чтобы продолжить без них: zenda team resume %4</translation>
    </message>
    <message>
        <source>the team&apos;s server has schema version %1, this zenda needs %2: the administrator runs &apos;zenda team setup&apos;</source>
        <translation>у сервера команды схема версии %1, этой zenda нужна %2: администратор запускает &apos;zenda team setup&apos;</translation>
    </message>
    <message>
        <source>warning: the server&apos;s name is not verified: add sslmode=verify-full and the server&apos;s certificate authority (~/.postgresql/root.crt)</source>
        <translation>внимание: имя сервера не проверено: добавьте sslmode=verify-full и удостоверяющий центр сервера (~/.postgresql/root.crt)</translation>
    </message>
    <message>
        <source>PC, department, connected now, last connection, newest line arrived, lines on the server, numbers in hand</source>
        <translation>ПК, отдел, подключен сейчас, последнее подключение, последняя строка пришла, строк на сервере, номеров на руках</translation>
    </message>
    <message>
        <source>no login</source>
        <translation>вход закрыт</translation>
    </message>
    <message>
        <source>connected</source>
        <translation>подключен</translation>
    </message>
    <message>
        <source>not connected</source>
        <translation>не подключен</translation>
    </message>
    <message>
        <source>the PC %1 can no longer log in; its begun numbers are spoiled, its taken ones free again; its records stay%2</source>
        <translation>ПК %1 больше не может войти; начатые им номера испорчены, взятые снова свободны; его записи остаются%2</translation>
    </message>
    <message>
        <source> (its open connections end when that PC ends them: this role may not end them)</source>
        <translation> (его открытые подключения закончатся, когда их закончит тот ПК: эта роль не может их закончить)</translation>
    </message>
    <message>
        <source> (%1 open connections ended)</source>
        <translation> (закончено открытых подключений: %1)</translation>
    </message>
    <message>
        <source>the PC %1 is now %2, with its password, department, records and numbers. On that PC: put %2 for %1 in its password file line, and run zenda team connect with user=%2</source>
        <translation>ПК %1 теперь %2, с его паролем, отделом, записями и номерами. На том ПК: замените %1 на %2 в его строке файла паролей и выполните zenda team connect с user=%2</translation>
    </message>
    <message>
        <source>department: none (it reads the records of the PCs of no department)
</source>
        <translation>отдел: нет (он читает записи ПК без отдела)
</translation>
    </message>
    <message>
        <source>department: %1
</source>
        <translation>отдел: %1
</translation>
    </message>
    <message>
        <source>department: none (this PC reads the records of the PCs of no department)</source>
        <translation>отдел: нет (этот ПК читает записи ПК без отдела)</translation>
    </message>
    <message>
        <source>department: %1</source>
        <translation>отдел: %1</translation>
    </message>
    <message>
        <source>not encrypted (sslmode=%1): the password and the records cross the network as they are</source>
        <translation>без шифрования (sslmode=%1): пароль и записи идут по сети как есть</translation>
    </message>
    <message>
        <source>TLS, the server&apos;s name verified (sslmode=%1)</source>
        <translation>TLS, имя сервера проверено (sslmode=%1)</translation>
    </message>
    <message>
        <source>TLS, the server&apos;s name not verified (sslmode=%1): use sslmode=verify-full</source>
        <translation>TLS, имя сервера не проверено (sslmode=%1): используйте sslmode=verify-full</translation>
    </message>
    <message>
        <source>the connection string holds a password: keep it in the password file (~/.pgpass, %APPDATA%\postgresql\pgpass.conf) instead</source>
        <translation>в строке подключения пароль: храните его в файле паролей (~/.pgpass, %APPDATA%\postgresql\pgpass.conf)</translation>
    </message>
    <message>
        <source>over the server&apos;s own socket: nothing crosses the network</source>
        <translation>через сокет самого сервера: по сети ничего не идет</translation>
    </message>
    <message>
        <source>this is the administrator&apos;s command: run it with the database owner&apos;s connection (docs/ADMIN.md)</source>
        <translation>это команда администратора: выполните ее с подключением владельца базы данных (docs/ADMIN.md)</translation>
    </message>
    <message>
        <source>the label could not be drawn: %1</source>
        <translation>этикетка не нарисована: %1</translation>
    </message>
    <message>
        <source>--label-size goes with --labels PRINTER|FILE.pdf</source>
        <translation>--label-size задаётся вместе с --labels ПРИНТЕР|ФАЙЛ.pdf</translation>
    </message>
    <message>
        <source>no printer is named &apos;%1&apos; (the system&apos;s printers: %2; a file&apos;s name ends in .pdf)</source>
        <translation>принтера «%1» нет (принтеры системы: %2; имя файла оканчивается на .pdf)</translation>
    </message>
    <message>
        <source>label takes a serial number, 1..65535</source>
        <translation>label принимает заводской номер, 1..65535</translation>
    </message>
    <message>
        <source>the journal holds no verified write that gave a device № %1: a label is made only for a device numbered and verified</source>
        <translation>в журнале нет проверенной записи, давшей прибору № %1: этикетка делается только для пронумерованного и проверенного прибора</translation>
    </message>
    <message>
        <source>label of № %1 (%2, %3): %4</source>
        <translation>этикетка № %1 (%2, %3): %4</translation>
    </message>
    <message>
        <source>team: connect CONNINFO | status | setup | add-pc NAME [DEPARTMENT] | department PC DEPARTMENT | fetch SHA256 FILE | protocol PC NAME FILE</source>
        <translation>team: connect СТРОКА | status | setup | add-pc ИМЯ [ОТДЕЛ] | department ПК ОТДЕЛ | fetch SHA256 ФАЙЛ | protocol ПК ИМЯ ФАЙЛ</translation>
    </message>
    <message>
        <source>a numbered device&apos;s label again (its number, model and date, with a DataMatrix of them), from the journal&apos;s verified write of that number: to a printer, or a PDF</source>
        <translation>этикетка пронумерованного прибора ещё раз (номер, модель и дата с кодом DataMatrix) по проверенной записи этого номера в журнале: на принтер или в PDF</translation>
    </message>
    <message>
        <source>N [--labels PRINTER|FILE.pdf] [--label-size WxH]</source>
        <translation>N [--labels ПРИНТЕР|ФАЙЛ.pdf] [--label-size ШхВ]</translation>
    </message>
    <message>
        <source>A label for each device numbered and verified: to this printer, or into a new PDF of one label a page.</source>
        <translation>Этикетка на каждый пронумерованный и проверенный прибор: на этот принтер или в новый PDF, по этикетке на страницу.</translation>
    </message>
    <message>
        <source>The label&apos;s size in millimetres (default 58x40).</source>
        <translation>Размер этикетки в миллиметрах (по умолчанию 58х40).</translation>
    </message>
    <message>
        <source>To this printer, or this PDF (default: a new PDF in the labels folder).</source>
        <translation>На этот принтер или в этот PDF (по умолчанию новый PDF в папке этикеток).</translation>
    </message>
    <message>
        <source>--%1: %2</source>
        <translation>--%1: %2</translation>
    </message>
    <message>
        <source>label: %1</source>
        <translation>этикетка: %1</translation>
    </message>
    <message>
        <source>no label: %1 (zenda label %2 makes it again)</source>
        <translation>этикетки нет: %1 (zenda label %2 сделает её ещё раз)</translation>
    </message>
    <message>
        <source>the label size is WIDTHxHEIGHT in millimetres, 20..200 each (58x40), not &apos;%1&apos;</source>
        <translation>размер этикетки - ШИРИНАхВЫСОТА в миллиметрах, каждая 20..200 (58х40), а не «%1»</translation>
    </message>
    <message>
        <source>--labels is empty: give a printer&apos;s name or a file ending in .pdf</source>
        <translation>--labels пуст: укажите имя принтера или файл с окончанием .pdf</translation>
    </message>
    <message>
        <source>labels: %1 (a run&apos;s labels go into a new file; zenda label N makes a label again)</source>
        <translation>этикетки: %1 (этикетки запуска пишутся в новый файл; zenda label N делает этикетку ещё раз)</translation>
    </message>
    <message>
        <source>printer %1</source>
        <translation>принтер %1</translation>
    </message>
    <message>
        <source>%1, page %2</source>
        <translation>%1, страница %2</translation>
    </message>
    <message>
        <source>labels are printed by CUPS&apos;s lp (package cups-client), which cannot be started: %1</source>
        <translation>этикетки печатает lp из CUPS (пакет cups-client), а он не запускается: %1</translation>
    </message>
    <message>
        <source>the printer %1 did not take the label in 30 s</source>
        <translation>принтер %1 не принял этикетку за 30 с</translation>
    </message>
    <message>
        <source>the printer %1 refused the label: %2</source>
        <translation>принтер %1 не принял этикетку: %2</translation>
    </message>
    <message>
        <source>on Windows labels go to a PDF file (--labels FILE.pdf)</source>
        <translation>в Windows этикетки пишутся в PDF-файл (--labels ФАЙЛ.pdf)</translation>
    </message>
</context>
</TS>
