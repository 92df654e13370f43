<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ru">
<!-- The engine's texts (the device's, the line's, the actions' and the records'), Russian as the window
     shows them, in English. zenda looks a text up whole, then with its numbers as %1, %2, ..., then
     each part between ". ", "; ", ": ", " -> ", ", " (a sentence's closing period aside). -->
<context>
    <name>engine</name>
    <message>
        <source>Неправильный номер COM-порта.</source>
        <translation>Wrong COM port number.</translation>
    </message>
    <message>
        <source>COM-порт не открыт.</source>
        <translation>The COM port is not open.</translation>
    </message>
    <message>
        <source>Ошибка открытия СОМ-порта</source>
        <translation>The COM port cannot be opened</translation>
    </message>
    <message>
        <source>Не удалаcь проинициализировать СOM-порт.</source>
        <translation>The COM port could not be set up.</translation>
    </message>
    <message>
        <source>Не удалось очистить COM-порт.</source>
        <translation>The COM port could not be purged.</translation>
    </message>
    <message>
        <source>Не удалось прочитать из COM-порта.</source>
        <translation>Could not read from the COM port.</translation>
    </message>
    <message>
        <source>Не удалось записать в COM-порт.</source>
        <translation>Could not write to the COM port.</translation>
    </message>
    <message>
        <source>Нет ответа от запрашиваемого устройства.</source>
        <translation>No answer from the device asked.</translation>
    </message>
    <message>
        <source>Импульсный OK (&gt;50 мс) / "Сухой контакт"</source>
        <translation>Pulse OC (&gt;50 ms) / "Dry contact"</translation>
    </message>
    <message>
        <source>Импульсный OK (1-5 мс)</source>
        <translation>Pulse OC (1-5 ms)</translation>
    </message>
    <message>
        <source>Частотный ОК (1-5 мс)</source>
        <translation>Frequency OC (1-5 ms)</translation>
    </message>
    <message>
        <source>Драйвер COM-порта</source>
        <translation>COM port driver</translation>
    </message>
    <message>
        <source>Неподдерживаемая команда</source>
        <translation>Unsupported command</translation>
    </message>
    <message>
        <source>Ошибка CRC</source>
        <translation>CRC error</translation>
    </message>
    <message>
        <source>Коллизия в линии</source>
        <translation>Collision on the line</translation>
    </message>
    <message>
        <source>Считаны некорректные данные</source>
        <translation>Bad data read</translation>
    </message>
    <message>
        <source>Нет ответа от устройства</source>
        <translation>No answer from the device</translation>
    </message>
    <message>
        <source>Ошибка обмена с устройством</source>
        <translation>Exchange with the device failed</translation>
    </message>
    <message>
        <source>Неизвестный код ошибки %1. Сообщите, пожалуйста, разработчикам программы.</source>
        <translation>Unknown error code %1. Please tell the program's developers.</translation>
    </message>
    <message>
        <source>Нет ответа от прибора</source>
        <translation>No answer from the device</translation>
    </message>
    <message>
        <source>Ошибка приемо/передачи</source>
        <translation>Transmission error</translation>
    </message>
    <message>
        <source>Ошибка приема данных от прибора</source>
        <translation>Error receiving data from the device</translation>
    </message>
    <message>
        <source>Ошибка приема данных с прибора</source>
        <translation>Error receiving data from the device</translation>
    </message>
    <message>
        <source>Ошибка приемо/прередачи: несовпадение принятых данных</source>
        <translation>Transmission error: the data received do not match</translation>
    </message>
    <message>
        <source>COM-Порт не открыт</source>
        <translation>The COM port is not open</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>после сбоя прочитано: прибор хранит новые настройки</source>
        <translation>read after the failure: the device holds the new settings</translation>
    </message>
    <message>
        <source>после сбоя прочитано: прибор хранит прежние настройки, изменения не записаны</source>
        <translation>read after the failure: the device holds its old settings, the changes were not written</translation>
    </message>
    <message>
        <source>после сбоя неизвестно, какие настройки хранит прибор</source>
        <translation>after the failure it is not known which settings the device holds</translation>
    </message>
    <message>
        <source>да</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>no</translation>
    </message>
    <message>
        <source>Есть</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Нет</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Заводской номер</source>
        <translation>Serial number</translation>
    </message>
    <message>
        <source>Сетевой адрес</source>
        <translation>Network address</translation>
    </message>
    <message>
        <source>Возможность обнуления счетчика объема V2</source>
        <translation>V2 volume counter may be reset</translation>
    </message>
    <message>
        <source>Канал %1, тип входного сигнала</source>
        <translation>Channel %1, input signal type</translation>
    </message>
    <message>
        <source>Канал %1, цена входного импульса</source>
        <translation>Channel %1, pulse value</translation>
    </message>
    <message>
        <source>Канал %1, тест линии</source>
        <translation>Channel %1, line test</translation>
    </message>
    <message>
        <source>Автокоррекция RTC</source>
        <translation>RTC auto-correction</translation>
    </message>
    <message>
        <source>%1 сек</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>счетчики обнулены</source>
        <translation>counters cleared</translation>
    </message>
    <message>
        <source>показание %1,%2</source>
        <translation>reading %1,%2</translation>
    </message>
    <message>
        <source>показание %1</source>
        <translation>reading %1</translation>
    </message>
    <message>
        <source>%1,%2 (меняется с ценой импульса)</source>
        <translation>%1,%2 (changes with the pulse value)</translation>
    </message>
    <message>
        <source>%1 (меняется с ценой импульса)</source>
        <translation>%1 (changes with the pulse value)</translation>
    </message>
    <message>
        <source>часы записаны</source>
        <translation>clock stamped</translation>
    </message>
    <message>
        <source>прочие байты образа изменены</source>
        <translation>other bytes of the image changed</translation>
    </message>
    <message>
        <source>%1,%2 м3/имп</source>
        <translation>%1,%2 m3/pulse</translation>
    </message>
    <message>
        <source>%1 м3/имп</source>
        <translation>%1 m3/pulse</translation>
    </message>
    <message>
        <source>тип прибора не известен</source>
        <translation>the device type is not known</translation>
    </message>
    <message>
        <source>канал %1, тип входного сигнала</source>
        <translation>channel %1, input signal type</translation>
    </message>
    <message>
        <source>канал %1, цена входного импульса не из списка</source>
        <translation>channel %1, the pulse value is not one of the list</translation>
    </message>
    <message>
        <source>сетевой адрес %1 вне %2..%3</source>
        <translation>network address %1 outside %2..%3</translation>
    </message>
    <message>
        <source>автокоррекция RTC %1 сек вне %2..%3</source>
        <translation>RTC auto-correction %1 s outside %2..%3</translation>
    </message>
    <message>
        <source>tp1</source>
        <translation>tp1</translation>
    </message>
    <message>
        <source>минуты вне %1..%2</source>
        <translation>minutes outside %1..%2</translation>
    </message>
    <message>
        <source>выполнено</source>
        <translation>done</translation>
    </message>
    <message>
        <source>отменено</source>
        <translation>cancelled</translation>
    </message>
    <message>
        <source>Не удалось сохранить резервную копию в %1 (%2). Продолжить без нее?</source>
        <translation>The backup could not be saved in %1 (%2). Go on without it?</translation>
    </message>
    <message>
        <source>Прибор проинициализирован успешно. Выйти из режима инициализации?</source>
        <translation>The device is initialized. Leave initialization mode?</translation>
    </message>
    <message>
        <source>Прибор проинициализирован успешно.</source>
        <translation>The device is initialized.</translation>
    </message>
    <message>
        <source>выход из режима инициализации не выполнен</source>
        <translation>initialization mode not left</translation>
    </message>
    <message>
        <source>выход из режима инициализации не выполнен: прервано</source>
        <translation>initialization mode not left: stopped</translation>
    </message>
    <message>
        <source>Выход из режима инициализации произведен успешно</source>
        <translation>Initialization mode left</translation>
    </message>
    <message>
        <source>Автокоррекция RTC произведена успешно</source>
        <translation>RTC correction set</translation>
    </message>
    <message>
        <source>Счетчики установлены</source>
        <translation>Counters set</translation>
    </message>
    <message>
        <source>из резервной копии</source>
        <translation>from the backup</translation>
    </message>
    <message>
        <source>Резервная копия не подходит к подключенному прибору ZENDA%1</source>
        <translation>The backup does not suit the connected device ZENDA%1</translation>
    </message>
    <message>
        <source>Ничего не записано</source>
        <translation>Nothing written</translation>
    </message>
    <message>
        <source>Прибор уже хранит настройки этой резервной копии</source>
        <translation>The device holds this backup's settings already</translation>
    </message>
    <message>
        <source>Записать в прибор из резервной копии</source>
        <translation>Write to the device from the backup</translation>
    </message>
    <message>
        <source>Продолжить?</source>
        <translation>Go on?</translation>
    </message>
    <message>
        <source>Резервная копия сделана с прибора № %1, подключен прибор № %2. Записать в него настройки другого прибора?</source>
        <translation>The backup was made from device № %1, device № %2 is connected. Write another device's settings to it?</translation>
    </message>
    <message>
        <source>Настройки восстановлены из резервной копии</source>
        <translation>Settings restored from the backup</translation>
    </message>
    <message>
        <source>Не удалось сохранить резервную копию</source>
        <translation>The backup could not be saved</translation>
    </message>
    <message>
        <source>Резервная копия прибора ZENDA%1, подключен ZENDA%2</source>
        <translation>A backup of ZENDA%1, ZENDA%2 connected</translation>
    </message>
    <message>
        <source>запись в прибор начата, итога нет</source>
        <translation>a write to the device began, with no result</translation>
    </message>
    <message>
        <source>программа прервана или еще пишет</source>
        <translation>the program was cut short or is still writing</translation>
    </message>
    <message>
        <source>строка журнала повреждена</source>
        <translation>damaged journal line</translation>
    </message>
    <message>
        <source>Номер прибора должен быть числом от %1 до %2</source>
        <translation>The serial number must be a number from %1 to %2</translation>
    </message>
    <message>
        <source>Сетевой адрес прибора должен быть числом от %1 до %2</source>
        <translation>The network address must be a number from %1 to %2</translation>
    </message>
    <message>
        <source>Не выбран тип входного сигнала!</source>
        <translation>No input signal type chosen!</translation>
    </message>
    <message>
        <source>Введите значение минут в диапазоне %1-%2</source>
        <translation>Enter minutes from %1 to %2</translation>
    </message>
    <message>
        <source>По первому каналу установлен запрещенный тип входного сигнала, счетчик не записан!</source>
        <translation>Channel 1 has a forbidden input signal type; the counter is not written!</translation>
    </message>
    <message>
        <source>По второму каналу установлен запрещенный тип входного сигнала, счетчик не записан!</source>
        <translation>Channel 2 has a forbidden input signal type; the counter is not written!</translation>
    </message>
    <message>
        <source>Не удалось сохранить протокол</source>
        <translation>The protocol could not be saved</translation>
    </message>
    <message>
        <source>на приспособлении COM%1 прибор № %2 уже пронумерован</source>
        <translation>on fixture COM%1, device № %2 is numbered already</translation>
    </message>
    <message>
        <source>Это правильное время?</source>
        <translation>Is it the right time?</translation>
    </message>
    <message>
        <source>канал %1, тип входного сигнала "%2" не из тех, что принимает ZENDA%3</source>
        <translation>channel %1, input signal type "%2" is not one ZENDA%3 takes</translation>
    </message>
    <message>
        <source>канал %1, тест линии у входа "%2" невозможен</source>
        <translation>channel %1, no line test on a "%2" input</translation>
    </message>
    <message>
        <source>Прибор ZENDA%1 не примет эти настройки</source>
        <translation>The device ZENDA%1 would not take these settings</translation>
    </message>
    <message>
        <source>Прибор не примет эти настройки</source>
        <translation>The device would not take these settings</translation>
    </message>
    <message>
        <source>После сбоя прочитано: прибор хранит новые настройки</source>
        <translation>Read after the failure: the device holds the new settings</translation>
    </message>
    <message>
        <source>После сбоя прочитано: прибор хранит прежние настройки, изменения не записаны</source>
        <translation>Read after the failure: the device holds its old settings, the changes were not written</translation>
    </message>
    <message>
        <source>После сбоя неизвестно, какие настройки хранит прибор</source>
        <translation>After the failure it is not known which settings the device holds</translation>
    </message>
    <message>
        <source>Считайте прибор, прежде чем делать что-либо еще</source>
        <translation>Read the device before doing anything else</translation>
    </message>
    <message>
        <source>%1 знаков, больше %2</source>
        <translation>%1 characters, more than %2</translation>
    </message>
    <message>
        <source>управляющий символ</source>
        <translation>a control character</translation>
    </message>
</context>
</TS>
