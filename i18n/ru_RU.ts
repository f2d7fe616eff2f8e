<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AppSettings</name>
    <message>
        <source>%1 Mb</source>
        <translation>%1 МБ</translation>
    </message>
    <message>
        <source>%1 Kb</source>
        <translation>%1 КБ</translation>
    </message>
</context>
<context>
    <name>ArrivedFile</name>
    <message>
        <source>replaced the file of that name</source>
        <translation>заменил файл с тем же именем</translation>
    </message>
    <message>
        <source>sent as %1, a name that was taken</source>
        <translation>отправлен как %1, это имя было занято</translation>
    </message>
    <message>
        <source>not saved: the file of that name was kept</source>
        <translation>не сохранён: файл с тем же именем оставлен</translation>
    </message>
    <message>
        <source>not saved: the name leads out of the folder</source>
        <translation>не сохранён: имя ведёт за пределы папки</translation>
    </message>
</context>
<context>
    <name>CliApp</name>
    <message>
        <source>Print your own key id. The first time, generate the key pair and register it.</source>
        <translation>Вывести свой ID ключа. При первом запуске создать пару ключей и зарегистрировать её.</translation>
    </message>
    <message>
        <source>Add a contact by key id, optionally with a title.</source>
        <translation>Добавить контакт по ID ключа, при желании с именем.</translation>
    </message>
    <message>
        <source>KEYID [TITLE]</source>
        <translation>KEYID [TITLE]</translation>
    </message>
    <message>
        <source>Change the title of a contact.</source>
        <translation>Изменить имя контакта.</translation>
    </message>
    <message>
        <source>KEYID TITLE</source>
        <translation>KEYID TITLE</translation>
    </message>
    <message>
        <source>Remove a contact from this computer.</source>
        <translation>Удалить контакт с этого компьютера.</translation>
    </message>
    <message>
        <source>KEYID</source>
        <translation>KEYID</translation>
    </message>
    <message>
        <source>Send files and folders to a contact through the server. Prints the server&apos;s file id.</source>
        <translation>Отправить файлы и папки контакту через сервер. Выводит ID файла на сервере.</translation>
    </message>
    <message>
        <source>KEYID PATH...</source>
        <translation>KEYID PATH...</translation>
    </message>
    <message>
        <source>Save files and folders as a local container. It is encrypted to a contact&apos;s key (--to) or with a password read from the first line of standard input (--password).</source>
        <translation>Сохранить файлы и папки в локальный контейнер. Он шифруется ключом контакта (--to) или паролем из первой строки стандартного ввода (--password).</translation>
    </message>
    <message>
        <source>OUT.tsyc PATH...</source>
        <translation>OUT.tsyc PATH...</translation>
    </message>
    <message>
        <source>Encrypt to the key of contact KEYID.</source>
        <translation>Зашифровать ключом контакта KEYID.</translation>
    </message>
    <message>
        <source>Encrypt with a password from standard input.</source>
        <translation>Зашифровать паролем из стандартного ввода.</translation>
    </message>
    <message>
        <source>List the containers waiting for you, one FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER line each.</source>
        <translation>Вывести список ожидающих вас контейнеров, по одной строке FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER на каждый.</translation>
    </message>
    <message>
        <source>Download a waiting container, decrypt it and extract it. Prints the folder.</source>
        <translation>Скачать ожидающий контейнер, расшифровать и распаковать его. Выводит папку.</translation>
    </message>
    <message>
        <source>FILEID</source>
        <translation>FILEID</translation>
    </message>
    <message>
        <source>Extract into DIR and remember it (default: the remembered folder).</source>
        <translation>Распаковать в DIR и запомнить эту папку (по умолчанию: запомненная папка).</translation>
    </message>
    <message>
        <source>DIR</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>Extract a local container. A password is read from the first line of standard input. Prints the folder.</source>
        <translation>Распаковать локальный контейнер. Пароль читается из первой строки стандартного ввода. Выводит папку.</translation>
    </message>
    <message>
        <source>FILE.tsyc</source>
        <translation>FILE.tsyc</translation>
    </message>
    <message>
        <source>Extract into DIR (default: the remembered folder).</source>
        <translation>Распаковать в DIR (по умолчанию: запомненная папка).</translation>
    </message>
    <message>
        <source>No command given.</source>
        <translation>Команда не указана.</translation>
    </message>
    <message>
        <source>Unknown command &quot;%1&quot;.</source>
        <translation>Неизвестная команда «%1».</translation>
    </message>
    <message>
        <source>Another instance of Tessary is running for this user (lock file %1).</source>
        <translation>Для этого пользователя уже запущен другой экземпляр Tessary (файл блокировки %1).</translation>
    </message>
    <message>
        <source>Canceled</source>
        <translation>Отменено</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>Поиск пользователя</translation>
    </message>
    <message>
        <source>No contact with the key id %1.</source>
        <translation>Нет контакта с ID ключа %1.</translation>
    </message>
    <message>
        <source>Cannot delete the contact %1.</source>
        <translation>Не удалось удалить контакт %1.</translation>
    </message>
    <message>
        <source>Give either --to KEYID or --password.</source>
        <translation>Укажите либо --to KEYID, либо --password.</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Введите пароль</translation>
    </message>
    <message>
        <source>No password given: the first line of standard input is empty.</source>
        <translation>Пароль не задан: первая строка стандартного ввода пуста.</translation>
    </message>
    <message>
        <source>Checking for new files</source>
        <translation>Проверка новых файлов</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Удаление данных на сервере…</translation>
    </message>
    <message>
        <source>Checking deliveries</source>
        <translation>Проверка доставки</translation>
    </message>
    <message>
        <source>No such file or folder: %1</source>
        <translation>Нет такого файла или папки: %1</translation>
    </message>
    <message>
        <source>Nothing to send: the folders hold no files.</source>
        <translation>Нечего отправлять: в папках нет файлов.</translation>
    </message>
    <message>
        <source>No container %1 is waiting for you.</source>
        <translation>Контейнер %1 вас не ожидает.</translation>
    </message>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>Нет прав на запись в каталог %1</translation>
    </message>
    <message>
        <source>Usage: tessary-cli COMMAND [options] [arguments]</source>
        <translation>Использование: tessary-cli COMMAND [параметры] [аргументы]</translation>
    </message>
    <message>
        <source>Exchange end-to-end encrypted files through the Tessary server.</source>
        <translation>Обмен файлами со сквозным шифрованием через сервер Tessary.</translation>
    </message>
    <message>
        <source>Commands:</source>
        <translation>Команды:</translation>
    </message>
    <message>
        <source>Run &quot;tessary-cli COMMAND --help&quot; for the options of a command.</source>
        <translation>Параметры команды покажет «tessary-cli COMMAND --help».</translation>
    </message>
    <message>
        <source>Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another instance runs.</source>
        <translation>Коды возврата: 0 — успех, 1 — операция не удалась, 2 — ошибка вызова, 3 — уже запущен другой экземпляр.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Показать эту справку и выйти.</translation>
    </message>
    <message>
        <source>Missing arguments.</source>
        <translation>Не хватает аргументов.</translation>
    </message>
    <message>
        <source>Too many arguments.</source>
        <translation>Слишком много аргументов.</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>Использование: %1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Параметры:</translation>
    </message>
    <message>
        <source>List the uploads that were begun and not finished, one ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE line each.</source>
        <translation>Вывести список начатых и не завершённых загрузок, по одной строке ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE на каждую.</translation>
    </message>
    <message>
        <source>Continue an unfinished upload from where it stopped. Prints the server&apos;s file id.</source>
        <translation>Продолжить незавершённую загрузку с того места, где она остановилась. Выводит ID файла на сервере.</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Give up an unfinished upload: the server forgets it and its container is deleted.</source>
        <translation>Отказаться от незавершённой загрузки: сервер забывает её, а её контейнер удаляется.</translation>
    </message>
    <message>
        <source>The server was not told; it deletes the upload by itself later.</source>
        <translation>Сервер не получил сообщения; он сам удалит загрузку позже.</translation>
    </message>
    <message>
        <source>No unfinished upload %1.</source>
        <translation>Нет незавершённой загрузки %1.</translation>
    </message>
    <message>
        <source>List the contacts, one KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified line each.</source>
        <translation>Вывести список контактов, по строке KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified на каждый.</translation>
    </message>
    <message>
        <source>Print your own key&apos;s fingerprint, or a contact&apos;s with the safety number you both see. Compare it with the contact in person or on the phone.</source>
        <translation>Показать отпечаток вашего ключа или ключа контакта вместе с кодом безопасности, который видите вы оба. Сверьте его с контактом лично или по телефону.</translation>
    </message>
    <message>
        <source>[KEYID]</source>
        <translation>[KEYID]</translation>
    </message>
    <message>
        <source>Mark a contact as verified, once you have compared the safety number with them.</source>
        <translation>Отметить контакт как проверенный после того, как вы сверили с ним код безопасности.</translation>
    </message>
    <message>
        <source>Accept the new key of a contact whose key has changed. The contact is not verified then.</source>
        <translation>Принять новый ключ контакта, ключ которого изменился. После этого контакт считается непроверенным.</translation>
    </message>
    <message>
        <source>KEYID FINGERPRINT</source>
        <translation>KEYID FINGERPRINT</translation>
    </message>
    <message>
        <source>You have no key yet: &quot;tessary-cli id&quot; makes it.</source>
        <translation>У вас ещё нет ключа: его создаёт &quot;tessary-cli id&quot;.</translation>
    </message>
    <message>
        <source>No key is pinned for %1 yet.</source>
        <translation>Для %1 ещё не закреплён ключ.</translation>
    </message>
    <message>
        <source>Fingerprint: %1</source>
        <translation>Отпечаток: %1</translation>
    </message>
    <message>
        <source>Safety number: %1</source>
        <translation>Код безопасности: %1</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Получение открытого PGP-ключа с сервера</translation>
    </message>
    <message>
        <source>To accept the new key: tessary-cli accept-key %1 %2</source>
        <translation>Чтобы принять новый ключ: tessary-cli accept-key %1 %2</translation>
    </message>
    <message>
        <source>Reject a waiting container. Asks first on a terminal.</source>
        <translation>Отклонить ожидающий контейнер. В терминале сначала спрашивает.</translation>
    </message>
    <message>
        <source>Reject without asking.</source>
        <translation>Отклонить без вопроса.</translation>
    </message>
    <message>
        <source>Under each transfer, its files: one &lt;TAB&gt;SIZE&lt;TAB&gt;NAME line each.</source>
        <translation>Под каждой передачей её файлы: по строке &lt;TAB&gt;SIZE&lt;TAB&gt;NAME.</translation>
    </message>
    <message>
        <source>Nothing was rejected. Give --yes to reject without being asked.</source>
        <translation>Ничего не отклонено. С --yes отклоняется без вопроса.</translation>
    </message>
    <message>
        <source>List the transfers, newest first, after checking their delivery. One DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE line each; SIGNATURE says who signed a received container.</source>
        <translation>Проверить доставку и вывести список передач, начиная с последней. По одной строке DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE на каждую; SIGNATURE сообщает, кто подписал полученный контейнер.</translation>
    </message>
</context>
<context>
    <name>CliPrompter</name>
    <message>
        <source>Password</source>
        <translation>Пароль</translation>
    </message>
    <message>
        <source>[y/N]</source>
        <translation>[д/Н]</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>да</translation>
    </message>
</context>
<context>
    <name>ContactKeys</name>
    <message>
        <source>The server answered with the key of %1 when asked for %2. It was not used.</source>
        <translation>На запрос ключа %2 сервер ответил ключом %1. Он не был использован.</translation>
    </message>
    <message>
        <source>The server sent an unusable key for %1. It was not used.</source>
        <translation>Сервер прислал непригодный ключ для %1. Он не был использован.</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>Не удалось обновить данные ключа</translation>
    </message>
    <message>
        <source>The server now offers the key %1 for %2, not the one you accepted. Nothing was changed.</source>
        <translation>Сервер теперь предлагает для %2 ключ %1, а не тот, который вы приняли. Ничего не изменено.</translation>
    </message>
    <message>
        <source>Not among your contacts: nothing confirms who this is</source>
        <translation>Нет среди ваших контактов: ничто не подтверждает, кто это</translation>
    </message>
    <message>
        <source>Verified: you compared the safety number</source>
        <translation>Проверен: вы сверили код безопасности</translation>
    </message>
    <message>
        <source>Not verified: compare the safety number on the contact&apos;s page</source>
        <translation>Не проверен: сверьте код безопасности на странице контакта</translation>
    </message>
    <message>
        <source>Not signed: nothing confirms who sent it</source>
        <translation>Без подписи: ничто не подтверждает, кто это отправил</translation>
    </message>
    <message>
        <source>Signed, not verified</source>
        <translation>Подписано, не проверено</translation>
    </message>
    <message>
        <source>Signed by you</source>
        <translation>Подписано вами</translation>
    </message>
    <message>
        <source>Signed, verified</source>
        <translation>Подписано, проверено</translation>
    </message>
    <message>
        <source>Signed by %1, verified</source>
        <translation>Подписано: %1, проверено</translation>
    </message>
    <message>
        <source>Signed by %1, not verified</source>
        <translation>Подписано: %1, не проверено</translation>
    </message>
    <message>
        <source>Signed by a key that is not among your contacts</source>
        <translation>Подписано ключом, которого нет среди ваших контактов</translation>
    </message>
    <message>
        <source>The key of %1 has changed, so nothing was sent. Pinned key: %2. Key offered now: %3. Accept the new key only once %1 has confirmed it, for example by comparing the safety number.</source>
        <translation>Ключ контакта %1 изменился, поэтому ничего не отправлено. Закреплённый ключ: %2. Предлагаемый сейчас ключ: %3. Принимайте новый ключ, только когда %1 его подтвердит, например сверив код безопасности.</translation>
    </message>
</context>
<context>
    <name>ContainerManager</name>
    <message>
        <source>Tessary container (*.tsyc)</source>
        <translation>Контейнер Tessary (*.tsyc)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Введите пароль</translation>
    </message>
</context>
<context>
    <name>ContainerWriter</name>
    <message>
        <source>Calculating total size</source>
        <translation>Подсчёт общего размера</translation>
    </message>
    <message>
        <source>The name %1 is too long for a container</source>
        <translation>Имя %1 слишком длинное для контейнера</translation>
    </message>
    <message>
        <source>Packing data</source>
        <translation>Упаковка данных</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Не удалось открыть %1 для чтения</translation>
    </message>
    <message>
        <source>The file %1 changed while it was being sent</source>
        <translation>Файл %1 изменился во время отправки</translation>
    </message>
    <message>
        <source>Cannot encrypt data</source>
        <translation>Не удалось зашифровать данные</translation>
    </message>
    <message>
        <source>Your own key is missing, so the container cannot be signed</source>
        <translation>Ваш собственный ключ отсутствует, поэтому контейнер нельзя подписать</translation>
    </message>
</context>
<context>
    <name>Crypter</name>
    <message>
        <source>Cannot find %1 key</source>
        <translation>Ключ %1 не найден</translation>
    </message>
    <message>
        <source>Cannot start gpg for import key</source>
        <translation>Не удалось запустить gpg для импорта ключа</translation>
    </message>
    <message>
        <source>Cannot import key</source>
        <translation>Не удалось импортировать ключ</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg не смог связаться со своим агентом. Так бывает, когда путь к его домашнему каталогу %1 слишком длинный для сокета агента; более короткий путь решает проблему.</translation>
    </message>
    <message>
        <source>The password is too long or holds a line break</source>
        <translation>Пароль слишком длинный или содержит перевод строки</translation>
    </message>
</context>
<context>
    <name>DownloadJob</name>
    <message>
        <source>Invalid server response</source>
        <translation>Некорректный ответ сервера</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>Соединение потеряно, повтор через %1 с</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>Скачивание зашифрованного контейнера</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was received is kept for the next try.</source>
        <translation>Соединение с сервером потеряно (%1). Уже полученное сохранено для следующей попытки.</translation>
    </message>
</context>
<context>
    <name>FirstStartJob</name>
    <message>
        <source>Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?</source>
        <translation>Не удалось запустить gpg для создания пары ключей. Установлен ли GnuPG и доступен ли он через PATH?</translation>
    </message>
    <message>
        <source>Error while generating PGP key pair</source>
        <translation>Ошибка при создании пары PGP-ключей</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg не смог связаться со своим агентом. Так бывает, когда путь к его домашнему каталогу %1 слишком длинный для сокета агента; более короткий путь решает проблему.</translation>
    </message>
</context>
<context>
    <name>OpenJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Не удалось открыть %1 для чтения</translation>
    </message>
    <message>
        <source>Cannot decrypt container</source>
        <translation>Не удалось расшифровать контейнер</translation>
    </message>
    <message>
        <source>Decrypting container</source>
        <translation>Расшифровка контейнера</translation>
    </message>
    <message>
        <source>Invalid container header</source>
        <translation>Некорректный заголовок контейнера</translation>
    </message>
    <message>
        <source>Unknown container version</source>
        <translation>Неизвестная версия контейнера</translation>
    </message>
    <message>
        <source>Extracting %1</source>
        <translation>Распаковка %1</translation>
    </message>
    <message>
        <source>No key is pinned for %1</source>
        <translation>Для %1 не закреплён ключ</translation>
    </message>
    <message>
        <source>The container&apos;s signature is not valid: it was forged or damaged. Nothing was extracted.</source>
        <translation>Подпись контейнера недействительна: она подделана или повреждена. Ничего не извлечено.</translation>
    </message>
    <message>
        <source>The container is said to come from %1, but it is not signed by the key pinned for %1. Nothing was extracted.</source>
        <translation>Контейнер якобы пришёл от %1, но он не подписан ключом, закреплённым для %1. Ничего не извлечено.</translation>
    </message>
</context>
<context>
    <name>PageAddContact</name>
    <message>
        <source>For adding user, enter ID below</source>
        <translation>Чтобы добавить пользователя, введите его ID ниже</translation>
    </message>
    <message>
        <source>Adding user</source>
        <translation>Добавление пользователя</translation>
    </message>
    <message>
        <source>User not found, check ID</source>
        <translation>Пользователь не найден, проверьте ID</translation>
    </message>
    <message>
        <source>Contact ID</source>
        <translation>ID контакта</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Добавить</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>Поиск пользователя</translation>
    </message>
    <message>
        <source>Specify the user name under which it will be displayed in the list of your contacts</source>
        <translation>Укажите имя, под которым пользователь будет отображаться в вашем списке контактов</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Имя контакта</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>User successfully added</source>
        <translation>Пользователь успешно добавлен</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Готово</translation>
    </message>
</context>
<context>
    <name>PageDownload</name>
    <message>
        <source>Transfer data request from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Запрос на передачу от &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>There is new files for you</source>
        <translation>Для вас есть новые файлы</translation>
    </message>
    <message>
        <source>Transfer data request from %1</source>
        <translation>Запрос на передачу данных от %1</translation>
    </message>
    <message>
        <source>Transfer data from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Передача данных от &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>Скачивание данных с сервера…</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>Расшифровка данных…</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Удаление данных на сервере…</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>Отклонить</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>Принять</translation>
    </message>
    <message>
        <source>Extract files to folder:</source>
        <translation>Распаковать файлы в папку:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Изменить</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Data successfully saved on your computer</source>
        <translation>Данные успешно сохранены на вашем компьютере</translation>
    </message>
    <message>
        <source>Open files directory</source>
        <translation>Открыть папку</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) saved</source>
        <translation>
            <numerusform>%n файл сохранён</numerusform>
            <numerusform>%n файла сохранено</numerusform>
            <numerusform>%n файлов сохранено</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n not saved</source>
        <translation>
            <numerusform>%n не сохранён</numerusform>
            <numerusform>%n не сохранено</numerusform>
            <numerusform>%n не сохранено</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>и ещё %n</numerusform>
            <numerusform>и ещё %n</numerusform>
            <numerusform>и ещё %n</numerusform>
        </translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Готово</translation>
    </message>
</context>
<context>
    <name>PageEditContact</name>
    <message>
        <source>Edit contact</source>
        <translation>Редактирование контакта</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Имя контакта</translation>
    </message>
    <message>
        <source>Error while saving contact</source>
        <translation>Ошибка при сохранении контакта</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Сохранить</translation>
    </message>
    <message>
        <source>Are you really want to delete this contact ?</source>
        <translation>Вы действительно хотите удалить этот контакт?</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Отпечаток</translation>
    </message>
    <message>
        <source>Safety number</source>
        <translation>Код безопасности</translation>
    </message>
    <message>
        <source>Compare it with %1 in person or on the phone: they see the same digits for you.</source>
        <translation>Сверьте его с %1 лично или по телефону: у %1 для вас те же цифры.</translation>
    </message>
    <message>
        <source>Mark as not verified</source>
        <translation>Отметить как непроверенный</translation>
    </message>
    <message>
        <source>Mark as verified</source>
        <translation>Отметить как проверенный</translation>
    </message>
</context>
<context>
    <name>PageEventFiles</name>
    <message>
        <source>Files received from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Файлы, полученные от &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Rejected transfer with &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Отклонённая передача с &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Files sent to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Файлы, отправленные &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>No list of files was kept for this transfer.</source>
        <translation>Для этой передачи список файлов не сохранён.</translation>
    </message>
</context>
<context>
    <name>PageGenKeyPair</name>
    <message>
        <source>%1
Try again?</source>
        <translation>%1
Повторить попытку?</translation>
    </message>
    <message>
        <source>Welcome to Tessary</source>
        <translation>Добро пожаловать в Tessary</translation>
    </message>
    <message>
        <source>The program is started for the first time. For further work it is necessary to generate PGP keys. To do this, click &quot;Next&quot;</source>
        <translation>Программа запущена впервые. Для дальнейшей работы необходимо создать PGP-ключи. Для этого нажмите «Далее»</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Далее</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>Создание PGP-ключей</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>Загрузка открытого PGP-ключа на сервер</translation>
    </message>
    <message>
        <source>Public key successfully uploaded</source>
        <translation>Открытый ключ успешно загружен на сервер</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
</context>
<context>
    <name>PageMain</name>
    <message>
        <source>Your ID</source>
        <translation>Ваш ID</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Контакты</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>События</translation>
    </message>
    <message>
        <source>Your fingerprint</source>
        <translation>Ваш отпечаток</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Your contacts see this fingerprint for you on their contact page. The safety number you compare with each of them is made from it and theirs.</source>
        <translation>Ваши контакты видят этот отпечаток на своей странице контакта. Код безопасности, который вы сверяете с каждым из них, вычисляется из него и их отпечатка.</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Отпечаток</translation>
    </message>
    <message>
        <source>Check now</source>
        <translation>Проверить</translation>
    </message>
</context>
<context>
    <name>PageSettings</name>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Auto start on system boot</source>
        <translation>Запускать при загрузке системы</translation>
    </message>
    <message>
        <source>Launch minimized</source>
        <translation>Запускать свёрнутым</translation>
    </message>
    <message>
        <source>About application</source>
        <translation>О приложении</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>Обратная связь</translation>
    </message>
    <message>
        <source>Language select</source>
        <translation>Выбор языка</translation>
    </message>
    <message>
        <source>version</source>
        <translation>версия</translation>
    </message>
    <message>
        <source>Developers</source>
        <translation>Разработчики</translation>
    </message>
    <message>
        <source>The Tessary team: C++, Qt, QML</source>
        <translation>Команда Tessary: C++, Qt, QML</translation>
    </message>
    <message>
        <source>Design: the Tessary team</source>
        <translation>Дизайн: команда Tessary</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Ваше имя</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>Электронная почта</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Текст сообщения</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Отправить</translation>
    </message>
    <message>
        <source>Message successfully sended</source>
        <translation>Сообщение успешно отправлено</translation>
    </message>
    <message>
        <source>There is an error while sending message</source>
        <translation>При отправке сообщения произошла ошибка</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>When a received file&apos;s name is taken</source>
        <translation>Если имя полученного файла занято</translation>
    </message>
    <message>
        <source>Keep both, the new file under a free name</source>
        <translation>Оставить оба, новый файл под свободным именем</translation>
    </message>
    <message>
        <source>Replace the file that is there</source>
        <translation>Заменить имеющийся файл</translation>
    </message>
    <message>
        <source>Keep the file that is there, skip the new one</source>
        <translation>Оставить имеющийся файл, пропустить новый</translation>
    </message>
</context>
<context>
    <name>PageShareFiles</name>
    <message>
        <source>Files list to transfer to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Файлы для получателя &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Transfer data to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Передача данных для &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Encrypting files...</source>
        <translation>Шифрование файлов…</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>Загрузка данных на сервер…</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Добавить файлы</translation>
    </message>
    <message>
        <source>Send files</source>
        <translation>Отправить файлы</translation>
    </message>
    <message>
        <source>Click %1 to add files to the queue. Or move the files with the mouse here</source>
        <translation>Нажмите %1, чтобы добавить файлы в очередь, или перетащите их сюда мышью</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Получение открытого PGP-ключа с сервера</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Data successfully uploaded</source>
        <translation>Данные успешно загружены на сервер</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Повторить</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Accept the new key</source>
        <translation>Принять новый ключ</translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>Добавить папку</translation>
    </message>
</context>
<context>
    <name>ProgressBar</name>
    <message>
        <source>Encrypting files...</source>
        <translation>Шифрование файлов…</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>Загрузка данных на сервер…</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>Расшифровка данных…</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>Создание PGP-ключей</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>Загрузка открытого PGP-ключа на сервер</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Получение открытого PGP-ключа с сервера</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>Скачивание данных с сервера…</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Удаление данных на сервере…</translation>
    </message>
</context>
<context>
    <name>PubKeysModel</name>
    <message>
        <source>You already have this contact</source>
        <translation>Этот контакт уже есть</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>Не удалось обновить данные ключа</translation>
    </message>
    <message>
        <source>An ID is made of digits only</source>
        <translation>ID состоит только из цифр</translation>
    </message>
    <message>
        <source>Enter the ID of the contact</source>
        <translation>Введите ID контакта</translation>
    </message>
    <message>
        <source>This is your own ID</source>
        <translation>Это ваш собственный ID</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Error</source>
        <translation>Ошибка</translation>
    </message>
    <message>
        <source>SSL not supported, exiting</source>
        <translation>SSL не поддерживается, программа будет закрыта</translation>
    </message>
    <message>
        <source>Some files are missing</source>
        <translation>Отсутствуют некоторые файлы</translation>
    </message>
    <message>
        <source>Please reinstall application</source>
        <translation>Переустановите приложение</translation>
    </message>
    <message>
        <source>Cannot open database</source>
        <translation>Не удалось открыть базу данных</translation>
    </message>
    <message>
        <source>Cannot read the certificate file %1: %2</source>
        <translation>Не удалось прочитать файл сертификата %1: %2</translation>
    </message>
    <message>
        <source>The file %1 holds no PEM certificate</source>
        <translation>Файл %1 не содержит сертификата PEM</translation>
    </message>
</context>
<context>
    <name>ReceiveJob</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>Нет прав на запись в каталог %1</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>Скачивание зашифрованного контейнера</translation>
    </message>
</context>
<context>
    <name>RejectJob</name>
    <message>
        <source>Reject files</source>
        <translation>Отклонить файлы</translation>
    </message>
    <message>
        <source>Reject the files from %1 (%2)? The server deletes them, and they cannot be accepted later.</source>
        <translation>Отклонить файлы от %1 (%2)? Сервер удалит их, и принять их позже будет нельзя.</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>Отклонить</translation>
    </message>
</context>
<context>
    <name>RelayClient</name>
    <message>
        <source>Network error occured: %1</source>
        <translation>Ошибка сети: %1</translation>
    </message>
    <message>
        <source>The server stopped responding</source>
        <translation>Сервер перестал отвечать</translation>
    </message>
    <message>
        <source>The server&apos;s reply is too large</source>
        <translation>Ответ сервера слишком велик</translation>
    </message>
    <message>
        <source>Cannot get server response</source>
        <translation>Не удалось получить ответ сервера</translation>
    </message>
    <message>
        <source>Unknown server response</source>
        <translation>Неизвестный ответ сервера</translation>
    </message>
    <message>
        <source>Invalid key id in response</source>
        <translation>Некорректный ID ключа в ответе</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>Некорректный ответ сервера</translation>
    </message>
    <message>
        <source>Invalid key data in response</source>
        <translation>Некорректные данные ключа в ответе</translation>
    </message>
    <message>
        <source>Invalid file id in response</source>
        <translation>Некорректный ID файла в ответе</translation>
    </message>
    <message>
        <source>The server sent more than the announced %1 bytes</source>
        <translation>Сервер прислал больше заявленных %1 байт</translation>
    </message>
    <message>
        <source>The server sent only %1 of the announced %2 bytes</source>
        <translation>Сервер прислал только %1 из заявленных %2 байт</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>Не удаётся записать в %1: %2</translation>
    </message>
</context>
<context>
    <name>SaveJob</name>
    <message>
        <source>Cannot open %1 for writing</source>
        <translation>Не удалось открыть %1 для записи</translation>
    </message>
</context>
<context>
    <name>SendJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Не удалось открыть %1 для чтения</translation>
    </message>
</context>
<context>
    <name>ShareFilesModel</name>
    <message>
        <source>File count limit exceed</source>
        <translation>Превышено допустимое число файлов</translation>
    </message>
    <message>
        <source>You cannot add more than %1 files in one container</source>
        <translation>В один контейнер можно добавить не более %1 файлов</translation>
    </message>
</context>
<context>
    <name>StagingFolder</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>Нет прав на запись в каталог %1</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>Не удаётся записать в %1: %2</translation>
    </message>
    <message>
        <source>%1 cannot be created</source>
        <translation>Не удаётся создать %1</translation>
    </message>
    <message>
        <source>no free name for a folder</source>
        <translation>нет свободного имени для папки</translation>
    </message>
</context>
<context>
    <name>TabContacts</name>
    <message>
        <source>Currently you don&apos;t have anyone in your contact list. Click %1 to add a user</source>
        <translation>В вашем списке контактов пока никого нет. Нажмите %1, чтобы добавить пользователя</translation>
    </message>
</context>
<context>
    <name>TabEvents</name>
    <message>
        <source>Received</source>
        <translation>Получено</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>Отклонено</translation>
    </message>
    <message>
        <source>Wait deliver</source>
        <translation>Ожидает доставки</translation>
    </message>
    <message>
        <source>Delivered</source>
        <translation>Доставлено</translation>
    </message>
    <message>
        <source>Upload not finished</source>
        <translation>Загрузка не завершена</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Продолжить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>UploadJob</name>
    <message>
        <source>There is no unfinished upload %1.</source>
        <translation>Незавершённой загрузки %1 нет.</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Не удалось открыть %1 для чтения</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>Соединение потеряно, повтор через %1 с</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>Некорректный ответ сервера</translation>
    </message>
    <message>
        <source>The server keeps losing the upload.</source>
        <translation>Сервер снова и снова теряет загрузку.</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was sent is kept; the upload can be resumed later.</source>
        <translation>Соединение с сервером потеряно (%1). Уже отправленное сохранено; загрузку можно продолжить позже.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Tessary</source>
        <translation>Tessary</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Tessary keeps running</source>
        <translation>Tessary продолжает работать</translation>
    </message>
    <message>
        <source>Tessary keeps running in the tray and receives files there. To end it, choose Quit in the menu of its tray icon.</source>
        <translation>Tessary продолжает работать в трее и принимает там файлы. Чтобы завершить работу, выберите «Выход» в меню его значка.</translation>
    </message>
</context>
</TS>
