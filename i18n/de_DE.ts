<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AppSettings</name>
    <message>
        <source>%1 Mb</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 Kb</source>
        <translation>%1 KB</translation>
    </message>
</context>
<context>
    <name>ArrivedFile</name>
    <message>
        <source>replaced the file of that name</source>
        <translation>hat die gleichnamige Datei ersetzt</translation>
    </message>
    <message>
        <source>sent as %1, a name that was taken</source>
        <translation>gesendet als %1, ein bereits vergebener Name</translation>
    </message>
    <message>
        <source>not saved: the file of that name was kept</source>
        <translation>nicht gespeichert: die gleichnamige Datei wurde behalten</translation>
    </message>
    <message>
        <source>not saved: the name leads out of the folder</source>
        <translation>nicht gespeichert: der Name führt aus dem Ordner hinaus</translation>
    </message>
</context>
<context>
    <name>CliApp</name>
    <message>
        <source>Print your own key id. The first time, generate the key pair and register it.</source>
        <translation>Gibt die eigene Schlüssel-ID aus. Beim ersten Mal wird das Schlüsselpaar erzeugt und registriert.</translation>
    </message>
    <message>
        <source>Add a contact by key id, optionally with a title.</source>
        <translation>Fügt einen Kontakt anhand seiner Schlüssel-ID hinzu, wahlweise mit einem Namen.</translation>
    </message>
    <message>
        <source>KEYID [TITLE]</source>
        <translation>KEYID [TITLE]</translation>
    </message>
    <message>
        <source>Change the title of a contact.</source>
        <translation>Ändert den Namen eines Kontakts.</translation>
    </message>
    <message>
        <source>KEYID TITLE</source>
        <translation>KEYID TITLE</translation>
    </message>
    <message>
        <source>Remove a contact from this computer.</source>
        <translation>Entfernt einen Kontakt von diesem Computer.</translation>
    </message>
    <message>
        <source>KEYID</source>
        <translation>KEYID</translation>
    </message>
    <message>
        <source>Send files and folders to a contact through the server. Prints the server&apos;s file id.</source>
        <translation>Sendet Dateien und Ordner über den Server an einen Kontakt. Gibt die Datei-ID des Servers aus.</translation>
    </message>
    <message>
        <source>KEYID PATH...</source>
        <translation>KEYID PATH...</translation>
    </message>
    <message>
        <source>Save files and folders as a local container. It is encrypted to a contact&apos;s key (--to) or with a password read from the first line of standard input (--password).</source>
        <translation>Speichert Dateien und Ordner als lokalen Container. Er wird für den Schlüssel eines Kontakts (--to) oder mit einem Passwort aus der ersten Zeile der Standardeingabe (--password) verschlüsselt.</translation>
    </message>
    <message>
        <source>OUT.tsyc PATH...</source>
        <translation>OUT.tsyc PATH...</translation>
    </message>
    <message>
        <source>Encrypt to the key of contact KEYID.</source>
        <translation>Für den Schlüssel des Kontakts KEYID verschlüsseln.</translation>
    </message>
    <message>
        <source>Encrypt with a password from standard input.</source>
        <translation>Mit einem Passwort aus der Standardeingabe verschlüsseln.</translation>
    </message>
    <message>
        <source>List the containers waiting for you, one FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER line each.</source>
        <translation>Listet die Container auf, die auf Sie warten, je eine Zeile FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER.</translation>
    </message>
    <message>
        <source>Download a waiting container, decrypt it and extract it. Prints the folder.</source>
        <translation>Lädt einen wartenden Container herunter, entschlüsselt und entpackt ihn. Gibt den Ordner aus.</translation>
    </message>
    <message>
        <source>FILEID</source>
        <translation>FILEID</translation>
    </message>
    <message>
        <source>Extract into DIR and remember it (default: the remembered folder).</source>
        <translation>In DIR entpacken und diesen Ordner merken (Standard: der gemerkte Ordner).</translation>
    </message>
    <message>
        <source>DIR</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>Extract a local container. A password is read from the first line of standard input. Prints the folder.</source>
        <translation>Entpackt einen lokalen Container. Ein Passwort wird aus der ersten Zeile der Standardeingabe gelesen. Gibt den Ordner aus.</translation>
    </message>
    <message>
        <source>FILE.tsyc</source>
        <translation>FILE.tsyc</translation>
    </message>
    <message>
        <source>Extract into DIR (default: the remembered folder).</source>
        <translation>In DIR entpacken (Standard: der gemerkte Ordner).</translation>
    </message>
    <message>
        <source>No command given.</source>
        <translation>Kein Befehl angegeben.</translation>
    </message>
    <message>
        <source>Unknown command &quot;%1&quot;.</source>
        <translation>Unbekannter Befehl „%1“.</translation>
    </message>
    <message>
        <source>Another instance of Tessary is running for this user (lock file %1).</source>
        <translation>Für diesen Benutzer läuft bereits eine andere Instanz von Tessary (Sperrdatei %1).</translation>
    </message>
    <message>
        <source>Canceled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>Benutzer wird gesucht</translation>
    </message>
    <message>
        <source>No contact with the key id %1.</source>
        <translation>Kein Kontakt mit der Schlüssel-ID %1.</translation>
    </message>
    <message>
        <source>Cannot delete the contact %1.</source>
        <translation>Der Kontakt %1 kann nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Give either --to KEYID or --password.</source>
        <translation>Geben Sie entweder --to KEYID oder --password an.</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Passwort eingeben</translation>
    </message>
    <message>
        <source>No password given: the first line of standard input is empty.</source>
        <translation>Kein Passwort angegeben: Die erste Zeile der Standardeingabe ist leer.</translation>
    </message>
    <message>
        <source>Checking for new files</source>
        <translation>Suche nach neuen Dateien</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Daten auf dem Server werden gelöscht …</translation>
    </message>
    <message>
        <source>Checking deliveries</source>
        <translation>Zustellungen werden geprüft</translation>
    </message>
    <message>
        <source>No such file or folder: %1</source>
        <translation>Datei oder Ordner nicht vorhanden: %1</translation>
    </message>
    <message>
        <source>Nothing to send: the folders hold no files.</source>
        <translation>Nichts zu senden: Die Ordner enthalten keine Dateien.</translation>
    </message>
    <message>
        <source>No container %1 is waiting for you.</source>
        <translation>Für Sie wartet kein Container %1.</translation>
    </message>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>In das Verzeichnis %1 kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Usage: tessary-cli COMMAND [options] [arguments]</source>
        <translation>Aufruf: tessary-cli COMMAND [Optionen] [Argumente]</translation>
    </message>
    <message>
        <source>Exchange end-to-end encrypted files through the Tessary server.</source>
        <translation>Tauscht Ende-zu-Ende-verschlüsselte Dateien über den Tessary-Server aus.</translation>
    </message>
    <message>
        <source>Commands:</source>
        <translation>Befehle:</translation>
    </message>
    <message>
        <source>Run &quot;tessary-cli COMMAND --help&quot; for the options of a command.</source>
        <translation>„tessary-cli COMMAND --help“ zeigt die Optionen eines Befehls.</translation>
    </message>
    <message>
        <source>Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another instance runs.</source>
        <translation>Exit-Codes: 0 Erfolg, 1 Vorgang fehlgeschlagen, 2 Aufruffehler, 3 eine andere Instanz läuft.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Diese Hilfe anzeigen und beenden.</translation>
    </message>
    <message>
        <source>Missing arguments.</source>
        <translation>Argumente fehlen.</translation>
    </message>
    <message>
        <source>Too many arguments.</source>
        <translation>Zu viele Argumente.</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>Aufruf: %1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Optionen:</translation>
    </message>
    <message>
        <source>List the uploads that were begun and not finished, one ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE line each.</source>
        <translation>Listet die begonnenen, nicht beendeten Uploads auf, je eine Zeile ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE.</translation>
    </message>
    <message>
        <source>Continue an unfinished upload from where it stopped. Prints the server&apos;s file id.</source>
        <translation>Setzt einen nicht beendeten Upload dort fort, wo er stehen blieb. Gibt die Datei-ID des Servers aus.</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Give up an unfinished upload: the server forgets it and its container is deleted.</source>
        <translation>Gibt einen nicht beendeten Upload auf: Der Server vergisst ihn, und sein Container wird gelöscht.</translation>
    </message>
    <message>
        <source>The server was not told; it deletes the upload by itself later.</source>
        <translation>Der Server wurde nicht benachrichtigt; er löscht den Upload später selbst.</translation>
    </message>
    <message>
        <source>No unfinished upload %1.</source>
        <translation>Kein nicht beendeter Upload %1.</translation>
    </message>
    <message>
        <source>List the contacts, one KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified line each.</source>
        <translation>Listet die Kontakte auf, je eine Zeile KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified.</translation>
    </message>
    <message>
        <source>Print your own key&apos;s fingerprint, or a contact&apos;s with the safety number you both see. Compare it with the contact in person or on the phone.</source>
        <translation>Gibt den Fingerabdruck Ihres eigenen Schlüssels aus, oder den eines Kontakts mit der Sicherheitsnummer, die Sie beide sehen. Vergleichen Sie sie mit dem Kontakt persönlich oder am Telefon.</translation>
    </message>
    <message>
        <source>[KEYID]</source>
        <translation>[KEYID]</translation>
    </message>
    <message>
        <source>Mark a contact as verified, once you have compared the safety number with them.</source>
        <translation>Markiert einen Kontakt als überprüft, nachdem Sie die Sicherheitsnummer mit ihm verglichen haben.</translation>
    </message>
    <message>
        <source>Accept the new key of a contact whose key has changed. The contact is not verified then.</source>
        <translation>Übernimmt den neuen Schlüssel eines Kontakts, dessen Schlüssel sich geändert hat. Der Kontakt gilt dann als nicht überprüft.</translation>
    </message>
    <message>
        <source>KEYID FINGERPRINT</source>
        <translation>KEYID FINGERPRINT</translation>
    </message>
    <message>
        <source>You have no key yet: &quot;tessary-cli id&quot; makes it.</source>
        <translation>Sie haben noch keinen Schlüssel: &quot;tessary-cli id&quot; erzeugt ihn.</translation>
    </message>
    <message>
        <source>No key is pinned for %1 yet.</source>
        <translation>Für %1 ist noch kein Schlüssel festgelegt.</translation>
    </message>
    <message>
        <source>Fingerprint: %1</source>
        <translation>Fingerabdruck: %1</translation>
    </message>
    <message>
        <source>Safety number: %1</source>
        <translation>Sicherheitsnummer: %1</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Öffentlicher PGP-Schlüssel wird vom Server abgerufen</translation>
    </message>
    <message>
        <source>To accept the new key: tessary-cli accept-key %1 %2</source>
        <translation>Um den neuen Schlüssel zu übernehmen: tessary-cli accept-key %1 %2</translation>
    </message>
    <message>
        <source>Reject a waiting container. Asks first on a terminal.</source>
        <translation>Lehnt einen wartenden Container ab. Fragt an einem Terminal zuerst nach.</translation>
    </message>
    <message>
        <source>Reject without asking.</source>
        <translation>Lehnt ohne Nachfrage ab.</translation>
    </message>
    <message>
        <source>Under each transfer, its files: one &lt;TAB&gt;SIZE&lt;TAB&gt;NAME line each.</source>
        <translation>Unter jeder Übertragung ihre Dateien: je eine Zeile &lt;TAB&gt;SIZE&lt;TAB&gt;NAME.</translation>
    </message>
    <message>
        <source>Nothing was rejected. Give --yes to reject without being asked.</source>
        <translation>Es wurde nichts abgelehnt. Mit --yes wird ohne Nachfrage abgelehnt.</translation>
    </message>
    <message>
        <source>List the transfers, newest first, after checking their delivery. One DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE line each; SIGNATURE says who signed a received container.</source>
        <translation>Prüft die Zustellung und listet dann die Übertragungen auf, die neueste zuerst. Je eine Zeile DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE; SIGNATURE gibt an, wer einen empfangenen Container signiert hat.</translation>
    </message>
</context>
<context>
    <name>CliPrompter</name>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>[y/N]</source>
        <translation>[j/N]</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
</context>
<context>
    <name>ContactKeys</name>
    <message>
        <source>The server answered with the key of %1 when asked for %2. It was not used.</source>
        <translation>Der Server hat auf die Anfrage nach %2 mit dem Schlüssel von %1 geantwortet. Er wurde nicht verwendet.</translation>
    </message>
    <message>
        <source>The server sent an unusable key for %1. It was not used.</source>
        <translation>Der Server hat einen unbrauchbaren Schlüssel für %1 gesendet. Er wurde nicht verwendet.</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>Schlüsseldaten können nicht aktualisiert werden</translation>
    </message>
    <message>
        <source>The server now offers the key %1 for %2, not the one you accepted. Nothing was changed.</source>
        <translation>Der Server bietet für %2 jetzt den Schlüssel %1 an, nicht den, den Sie übernommen haben. Nichts wurde geändert.</translation>
    </message>
    <message>
        <source>Not among your contacts: nothing confirms who this is</source>
        <translation>Nicht unter Ihren Kontakten: nichts bestätigt, wer das ist</translation>
    </message>
    <message>
        <source>Verified: you compared the safety number</source>
        <translation>Überprüft: Sie haben die Sicherheitsnummer verglichen</translation>
    </message>
    <message>
        <source>Not verified: compare the safety number on the contact&apos;s page</source>
        <translation>Nicht überprüft: Vergleichen Sie die Sicherheitsnummer auf der Seite des Kontakts</translation>
    </message>
    <message>
        <source>Not signed: nothing confirms who sent it</source>
        <translation>Nicht signiert: nichts bestätigt, wer es gesendet hat</translation>
    </message>
    <message>
        <source>Signed, not verified</source>
        <translation>Signiert, nicht überprüft</translation>
    </message>
    <message>
        <source>Signed by you</source>
        <translation>Von Ihnen signiert</translation>
    </message>
    <message>
        <source>Signed, verified</source>
        <translation>Signiert, überprüft</translation>
    </message>
    <message>
        <source>Signed by %1, verified</source>
        <translation>Signiert von %1, überprüft</translation>
    </message>
    <message>
        <source>Signed by %1, not verified</source>
        <translation>Signiert von %1, nicht überprüft</translation>
    </message>
    <message>
        <source>Signed by a key that is not among your contacts</source>
        <translation>Signiert mit einem Schlüssel, der nicht zu Ihren Kontakten gehört</translation>
    </message>
    <message>
        <source>The key of %1 has changed, so nothing was sent. Pinned key: %2. Key offered now: %3. Accept the new key only once %1 has confirmed it, for example by comparing the safety number.</source>
        <translation>Der Schlüssel von %1 hat sich geändert, daher wurde nichts gesendet. Festgelegter Schlüssel: %2. Jetzt angebotener Schlüssel: %3. Übernehmen Sie den neuen Schlüssel erst, wenn %1 ihn bestätigt hat, zum Beispiel durch Vergleich der Sicherheitsnummer.</translation>
    </message>
</context>
<context>
    <name>ContainerManager</name>
    <message>
        <source>Tessary container (*.tsyc)</source>
        <translation>Tessary-Container (*.tsyc)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Erfolg</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Passwort eingeben</translation>
    </message>
</context>
<context>
    <name>ContainerWriter</name>
    <message>
        <source>Calculating total size</source>
        <translation>Gesamtgröße wird berechnet</translation>
    </message>
    <message>
        <source>The name %1 is too long for a container</source>
        <translation>Der Name %1 ist für einen Container zu lang</translation>
    </message>
    <message>
        <source>Packing data</source>
        <translation>Daten werden gepackt</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>%1 kann nicht zum Lesen geöffnet werden</translation>
    </message>
    <message>
        <source>The file %1 changed while it was being sent</source>
        <translation>Die Datei %1 wurde während des Sendens verändert</translation>
    </message>
    <message>
        <source>Cannot encrypt data</source>
        <translation>Daten können nicht verschlüsselt werden</translation>
    </message>
    <message>
        <source>Your own key is missing, so the container cannot be signed</source>
        <translation>Ihr eigener Schlüssel fehlt, daher kann der Container nicht signiert werden</translation>
    </message>
</context>
<context>
    <name>Crypter</name>
    <message>
        <source>Cannot find %1 key</source>
        <translation>Schlüssel %1 nicht gefunden</translation>
    </message>
    <message>
        <source>Cannot start gpg for import key</source>
        <translation>gpg kann zum Importieren des Schlüssels nicht gestartet werden</translation>
    </message>
    <message>
        <source>Cannot import key</source>
        <translation>Schlüssel kann nicht importiert werden</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg konnte seinen Agenten nicht erreichen. Das geschieht, wenn der Pfad seines Home-Verzeichnisses %1 für den Socket des Agenten zu lang ist; ein kürzerer Pfad behebt das.</translation>
    </message>
    <message>
        <source>The password is too long or holds a line break</source>
        <translation>Das Passwort ist zu lang oder enthält einen Zeilenumbruch</translation>
    </message>
</context>
<context>
    <name>DownloadJob</name>
    <message>
        <source>Invalid server response</source>
        <translation>Ungültige Antwort vom Server</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>Verbindung unterbrochen, neuer Versuch in %1 s</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>Verschlüsselter Container wird heruntergeladen</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was received is kept for the next try.</source>
        <translation>Die Verbindung zum Server ist abgebrochen (%1). Was bereits empfangen wurde, bleibt für den nächsten Versuch erhalten.</translation>
    </message>
</context>
<context>
    <name>FirstStartJob</name>
    <message>
        <source>Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?</source>
        <translation>gpg kann zum Erzeugen eines Schlüsselpaars nicht gestartet werden. Ist GnuPG installiert und im PATH?</translation>
    </message>
    <message>
        <source>Error while generating PGP key pair</source>
        <translation>Fehler beim Erzeugen des PGP-Schlüsselpaars</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg konnte seinen Agenten nicht erreichen. Das geschieht, wenn der Pfad seines Home-Verzeichnisses %1 für den Socket des Agenten zu lang ist; ein kürzerer Pfad behebt das.</translation>
    </message>
</context>
<context>
    <name>OpenJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>%1 kann nicht zum Lesen geöffnet werden</translation>
    </message>
    <message>
        <source>Cannot decrypt container</source>
        <translation>Container kann nicht entschlüsselt werden</translation>
    </message>
    <message>
        <source>Decrypting container</source>
        <translation>Container wird entschlüsselt</translation>
    </message>
    <message>
        <source>Invalid container header</source>
        <translation>Ungültiger Container-Header</translation>
    </message>
    <message>
        <source>Unknown container version</source>
        <translation>Unbekannte Container-Version</translation>
    </message>
    <message>
        <source>Extracting %1</source>
        <translation>%1 wird entpackt</translation>
    </message>
    <message>
        <source>No key is pinned for %1</source>
        <translation>Für %1 ist kein Schlüssel festgelegt</translation>
    </message>
    <message>
        <source>The container&apos;s signature is not valid: it was forged or damaged. Nothing was extracted.</source>
        <translation>Die Signatur des Containers ist ungültig: Sie wurde gefälscht oder beschädigt. Es wurde nichts entpackt.</translation>
    </message>
    <message>
        <source>The container is said to come from %1, but it is not signed by the key pinned for %1. Nothing was extracted.</source>
        <translation>Der Container soll von %1 stammen, ist aber nicht mit dem für %1 festgelegten Schlüssel signiert. Es wurde nichts entpackt.</translation>
    </message>
</context>
<context>
    <name>PageAddContact</name>
    <message>
        <source>For adding user, enter ID below</source>
        <translation>Geben Sie unten die ID des Benutzers ein, den Sie hinzufügen möchten</translation>
    </message>
    <message>
        <source>Adding user</source>
        <translation>Benutzer hinzufügen</translation>
    </message>
    <message>
        <source>User not found, check ID</source>
        <translation>Benutzer nicht gefunden, bitte ID prüfen</translation>
    </message>
    <message>
        <source>Contact ID</source>
        <translation>Kontakt-ID</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>Benutzer wird gesucht</translation>
    </message>
    <message>
        <source>Specify the user name under which it will be displayed in the list of your contacts</source>
        <translation>Geben Sie den Namen ein, unter dem der Benutzer in Ihrer Kontaktliste angezeigt wird</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Name des Kontakts</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>User successfully added</source>
        <translation>Benutzer erfolgreich hinzugefügt</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>PageDownload</name>
    <message>
        <source>Transfer data request from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Übertragungsanfrage von &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>There is new files for you</source>
        <translation>Neue Dateien für Sie</translation>
    </message>
    <message>
        <source>Transfer data request from %1</source>
        <translation>Übertragungsanfrage von %1</translation>
    </message>
    <message>
        <source>Transfer data from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Datenübertragung von &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>Daten werden vom Server heruntergeladen …</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>Daten werden entschlüsselt …</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Daten auf dem Server werden gelöscht …</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>Ablehnen</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>Annehmen</translation>
    </message>
    <message>
        <source>Extract files to folder:</source>
        <translation>Dateien in folgenden Ordner entpacken:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Ändern</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Data successfully saved on your computer</source>
        <translation>Die Daten wurden erfolgreich auf Ihrem Computer gespeichert</translation>
    </message>
    <message>
        <source>Open files directory</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) saved</source>
        <translation>
            <numerusform>%n Datei gespeichert</numerusform>
            <numerusform>%n Dateien gespeichert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n not saved</source>
        <translation>
            <numerusform>%n nicht gespeichert</numerusform>
            <numerusform>%n nicht gespeichert</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>und %n weitere</numerusform>
            <numerusform>und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>PageEditContact</name>
    <message>
        <source>Edit contact</source>
        <translation>Kontakt bearbeiten</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Name des Kontakts</translation>
    </message>
    <message>
        <source>Error while saving contact</source>
        <translation>Fehler beim Speichern des Kontakts</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Are you really want to delete this contact ?</source>
        <translation>Möchten Sie diesen Kontakt wirklich löschen?</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Fingerabdruck</translation>
    </message>
    <message>
        <source>Safety number</source>
        <translation>Sicherheitsnummer</translation>
    </message>
    <message>
        <source>Compare it with %1 in person or on the phone: they see the same digits for you.</source>
        <translation>Vergleichen Sie sie mit %1 persönlich oder am Telefon: %1 sieht für Sie dieselben Ziffern.</translation>
    </message>
    <message>
        <source>Mark as not verified</source>
        <translation>Als nicht überprüft markieren</translation>
    </message>
    <message>
        <source>Mark as verified</source>
        <translation>Als überprüft markieren</translation>
    </message>
</context>
<context>
    <name>PageEventFiles</name>
    <message>
        <source>Files received from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Dateien von &lt;b&gt;%1&lt;/b&gt; empfangen</translation>
    </message>
    <message>
        <source>Rejected transfer with &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Abgelehnte Übertragung mit &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Files sent to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Dateien an &lt;b&gt;%1&lt;/b&gt; gesendet</translation>
    </message>
    <message>
        <source>No list of files was kept for this transfer.</source>
        <translation>Für diese Übertragung wurde keine Dateiliste gespeichert.</translation>
    </message>
</context>
<context>
    <name>PageGenKeyPair</name>
    <message>
        <source>%1
Try again?</source>
        <translation>%1
Erneut versuchen?</translation>
    </message>
    <message>
        <source>Welcome to Tessary</source>
        <translation>Willkommen bei Tessary</translation>
    </message>
    <message>
        <source>The program is started for the first time. For further work it is necessary to generate PGP keys. To do this, click &quot;Next&quot;</source>
        <translation>Das Programm wird zum ersten Mal gestartet. Damit Sie es verwenden können, müssen PGP-Schlüssel erzeugt werden. Klicken Sie dazu auf „Weiter“</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>PGP-Schlüssel werden erzeugt</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>Öffentlicher PGP-Schlüssel wird auf den Server hochgeladen</translation>
    </message>
    <message>
        <source>Public key successfully uploaded</source>
        <translation>Öffentlicher Schlüssel erfolgreich hochgeladen</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>PageMain</name>
    <message>
        <source>Your ID</source>
        <translation>Ihre ID</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Kontakte</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Ereignisse</translation>
    </message>
    <message>
        <source>Your fingerprint</source>
        <translation>Ihr Fingerabdruck</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Your contacts see this fingerprint for you on their contact page. The safety number you compare with each of them is made from it and theirs.</source>
        <translation>Ihre Kontakte sehen diesen Fingerabdruck für Sie auf ihrer Kontaktseite. Die Sicherheitsnummer, die Sie mit jedem von ihnen vergleichen, wird aus ihm und dem des Kontakts gebildet.</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Fingerabdruck</translation>
    </message>
    <message>
        <source>Check now</source>
        <translation>Jetzt prüfen</translation>
    </message>
</context>
<context>
    <name>PageSettings</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Auto start on system boot</source>
        <translation>Beim Systemstart automatisch starten</translation>
    </message>
    <message>
        <source>Launch minimized</source>
        <translation>Minimiert starten</translation>
    </message>
    <message>
        <source>About application</source>
        <translation>Über die Anwendung</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>Kontaktieren Sie uns</translation>
    </message>
    <message>
        <source>Language select</source>
        <translation>Sprache auswählen</translation>
    </message>
    <message>
        <source>version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Developers</source>
        <translation>Entwickler</translation>
    </message>
    <message>
        <source>The Tessary team: C++, Qt, QML</source>
        <translation>Das Tessary-Team: C++, Qt, QML</translation>
    </message>
    <message>
        <source>Design: the Tessary team</source>
        <translation>Design: das Tessary-Team</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Ihr Name</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Nachricht</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
    <message>
        <source>Message successfully sended</source>
        <translation>Nachricht erfolgreich gesendet</translation>
    </message>
    <message>
        <source>There is an error while sending message</source>
        <translation>Beim Senden der Nachricht ist ein Fehler aufgetreten</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>When a received file&apos;s name is taken</source>
        <translation>Wenn der Name einer empfangenen Datei vergeben ist</translation>
    </message>
    <message>
        <source>Keep both, the new file under a free name</source>
        <translation>Beide behalten, die neue Datei unter einem freien Namen</translation>
    </message>
    <message>
        <source>Replace the file that is there</source>
        <translation>Die vorhandene Datei ersetzen</translation>
    </message>
    <message>
        <source>Keep the file that is there, skip the new one</source>
        <translation>Die vorhandene Datei behalten, die neue auslassen</translation>
    </message>
</context>
<context>
    <name>PageShareFiles</name>
    <message>
        <source>Files list to transfer to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Dateien zum Senden an &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Transfer data to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Datenübertragung an &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Encrypting files...</source>
        <translation>Dateien werden verschlüsselt …</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>Daten werden auf den Server hochgeladen …</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Dateien hinzufügen</translation>
    </message>
    <message>
        <source>Send files</source>
        <translation>Dateien senden</translation>
    </message>
    <message>
        <source>Click %1 to add files to the queue. Or move the files with the mouse here</source>
        <translation>Klicken Sie auf %1, um Dateien zur Warteschlange hinzuzufügen, oder ziehen Sie die Dateien mit der Maus hierher</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Öffentlicher PGP-Schlüssel wird vom Server abgerufen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Data successfully uploaded</source>
        <translation>Daten erfolgreich hochgeladen</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Accept the new key</source>
        <translation>Neuen Schlüssel übernehmen</translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
</context>
<context>
    <name>ProgressBar</name>
    <message>
        <source>Encrypting files...</source>
        <translation>Dateien werden verschlüsselt …</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>Daten werden auf den Server hochgeladen …</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>Daten werden entschlüsselt …</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>PGP-Schlüssel werden erzeugt</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>Öffentlicher PGP-Schlüssel wird auf den Server hochgeladen</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Öffentlicher PGP-Schlüssel wird vom Server abgerufen</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>Daten werden vom Server heruntergeladen …</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Daten auf dem Server werden gelöscht …</translation>
    </message>
</context>
<context>
    <name>PubKeysModel</name>
    <message>
        <source>You already have this contact</source>
        <translation>Dieser Kontakt ist bereits vorhanden</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>Schlüsseldaten können nicht aktualisiert werden</translation>
    </message>
    <message>
        <source>An ID is made of digits only</source>
        <translation>Eine ID besteht nur aus Ziffern</translation>
    </message>
    <message>
        <source>Enter the ID of the contact</source>
        <translation>Geben Sie die ID des Kontakts ein</translation>
    </message>
    <message>
        <source>This is your own ID</source>
        <translation>Das ist Ihre eigene ID</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>SSL not supported, exiting</source>
        <translation>SSL wird nicht unterstützt, das Programm wird beendet</translation>
    </message>
    <message>
        <source>Some files are missing</source>
        <translation>Einige Dateien fehlen</translation>
    </message>
    <message>
        <source>Please reinstall application</source>
        <translation>Bitte installieren Sie die Anwendung neu</translation>
    </message>
    <message>
        <source>Cannot open database</source>
        <translation>Datenbank kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Cannot read the certificate file %1: %2</source>
        <translation>Die Zertifikatsdatei %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>The file %1 holds no PEM certificate</source>
        <translation>Die Datei %1 enthält kein PEM-Zertifikat</translation>
    </message>
</context>
<context>
    <name>ReceiveJob</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>In das Verzeichnis %1 kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>Verschlüsselter Container wird heruntergeladen</translation>
    </message>
</context>
<context>
    <name>RejectJob</name>
    <message>
        <source>Reject files</source>
        <translation>Dateien ablehnen</translation>
    </message>
    <message>
        <source>Reject the files from %1 (%2)? The server deletes them, and they cannot be accepted later.</source>
        <translation>Die Dateien von %1 (%2) ablehnen? Der Server löscht sie, und sie können später nicht mehr angenommen werden.</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>Ablehnen</translation>
    </message>
</context>
<context>
    <name>RelayClient</name>
    <message>
        <source>Network error occured: %1</source>
        <translation>Netzwerkfehler: %1</translation>
    </message>
    <message>
        <source>The server stopped responding</source>
        <translation>Der Server antwortet nicht mehr</translation>
    </message>
    <message>
        <source>The server&apos;s reply is too large</source>
        <translation>Die Antwort des Servers ist zu groß</translation>
    </message>
    <message>
        <source>Cannot get server response</source>
        <translation>Keine Antwort vom Server</translation>
    </message>
    <message>
        <source>Unknown server response</source>
        <translation>Unbekannte Antwort vom Server</translation>
    </message>
    <message>
        <source>Invalid key id in response</source>
        <translation>Ungültige Schlüssel-ID in der Antwort</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>Ungültige Antwort vom Server</translation>
    </message>
    <message>
        <source>Invalid key data in response</source>
        <translation>Ungültige Schlüsseldaten in der Antwort</translation>
    </message>
    <message>
        <source>Invalid file id in response</source>
        <translation>Ungültige Datei-ID in der Antwort</translation>
    </message>
    <message>
        <source>The server sent more than the announced %1 bytes</source>
        <translation>Der Server hat mehr als die angekündigten %1 Bytes gesendet</translation>
    </message>
    <message>
        <source>The server sent only %1 of the announced %2 bytes</source>
        <translation>Der Server hat nur %1 der angekündigten %2 Bytes gesendet</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>In %1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>SaveJob</name>
    <message>
        <source>Cannot open %1 for writing</source>
        <translation>%1 kann nicht zum Schreiben geöffnet werden</translation>
    </message>
</context>
<context>
    <name>SendJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>%1 kann nicht zum Lesen geöffnet werden</translation>
    </message>
</context>
<context>
    <name>ShareFilesModel</name>
    <message>
        <source>File count limit exceed</source>
        <translation>Höchstzahl an Dateien überschritten</translation>
    </message>
    <message>
        <source>You cannot add more than %1 files in one container</source>
        <translation>Sie können einem Container höchstens %1 Dateien hinzufügen</translation>
    </message>
</context>
<context>
    <name>StagingFolder</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>In das Verzeichnis %1 kann nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>In %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>%1 cannot be created</source>
        <translation>%1 kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>no free name for a folder</source>
        <translation>kein freier Name für einen Ordner</translation>
    </message>
</context>
<context>
    <name>TabContacts</name>
    <message>
        <source>Currently you don&apos;t have anyone in your contact list. Click %1 to add a user</source>
        <translation>Ihre Kontaktliste ist noch leer. Klicken Sie auf %1, um einen Benutzer hinzuzufügen</translation>
    </message>
</context>
<context>
    <name>TabEvents</name>
    <message>
        <source>Received</source>
        <translation>Empfangen</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>Abgelehnt</translation>
    </message>
    <message>
        <source>Wait deliver</source>
        <translation>Zustellung ausstehend</translation>
    </message>
    <message>
        <source>Delivered</source>
        <translation>Zugestellt</translation>
    </message>
    <message>
        <source>Upload not finished</source>
        <translation>Upload nicht beendet</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>UploadJob</name>
    <message>
        <source>There is no unfinished upload %1.</source>
        <translation>Es gibt keinen nicht beendeten Upload %1.</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>%1 kann nicht zum Lesen geöffnet werden</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>Verbindung unterbrochen, neuer Versuch in %1 s</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>Ungültige Antwort vom Server</translation>
    </message>
    <message>
        <source>The server keeps losing the upload.</source>
        <translation>Der Server verliert den Upload immer wieder.</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was sent is kept; the upload can be resumed later.</source>
        <translation>Die Verbindung zum Server ist abgebrochen (%1). Was bereits gesendet wurde, bleibt erhalten; Sie können den Upload später fortsetzen.</translation>
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
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Tessary keeps running</source>
        <translation>Tessary läuft weiter</translation>
    </message>
    <message>
        <source>Tessary keeps running in the tray and receives files there. To end it, choose Quit in the menu of its tray icon.</source>
        <translation>Tessary läuft im Infobereich weiter und empfängt dort Dateien. Zum Beenden wählen Sie „Beenden“ im Menü seines Symbols.</translation>
    </message>
</context>
</TS>
