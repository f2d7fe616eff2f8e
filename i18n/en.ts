<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
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
        <translation>replaced the file of that name</translation>
    </message>
    <message>
        <source>sent as %1, a name that was taken</source>
        <translation>sent as %1, a name that was taken</translation>
    </message>
    <message>
        <source>not saved: the file of that name was kept</source>
        <translation>not saved: the file of that name was kept</translation>
    </message>
    <message>
        <source>not saved: the name leads out of the folder</source>
        <translation>not saved: the name leads out of the folder</translation>
    </message>
</context>
<context>
    <name>CliApp</name>
    <message>
        <source>Print your own key id. The first time, generate the key pair and register it.</source>
        <translation>Print your own key id. The first time, generate the key pair and register it.</translation>
    </message>
    <message>
        <source>Add a contact by key id, optionally with a title.</source>
        <translation>Add a contact by key id, optionally with a title.</translation>
    </message>
    <message>
        <source>KEYID [TITLE]</source>
        <translation>KEYID [TITLE]</translation>
    </message>
    <message>
        <source>Change the title of a contact.</source>
        <translation>Change the title of a contact.</translation>
    </message>
    <message>
        <source>KEYID TITLE</source>
        <translation>KEYID TITLE</translation>
    </message>
    <message>
        <source>Remove a contact from this computer.</source>
        <translation>Remove a contact from this computer.</translation>
    </message>
    <message>
        <source>KEYID</source>
        <translation>KEYID</translation>
    </message>
    <message>
        <source>Send files and folders to a contact through the server. Prints the server&apos;s file id.</source>
        <translation>Send files and folders to a contact through the server. Prints the server&apos;s file id.</translation>
    </message>
    <message>
        <source>KEYID PATH...</source>
        <translation>KEYID PATH...</translation>
    </message>
    <message>
        <source>Save files and folders as a local container. It is encrypted to a contact&apos;s key (--to) or with a password read from the first line of standard input (--password).</source>
        <translation>Save files and folders as a local container. It is encrypted to a contact&apos;s key (--to) or with a password read from the first line of standard input (--password).</translation>
    </message>
    <message>
        <source>OUT.tsyc PATH...</source>
        <translation>OUT.tsyc PATH...</translation>
    </message>
    <message>
        <source>Encrypt to the key of contact KEYID.</source>
        <translation>Encrypt to the key of contact KEYID.</translation>
    </message>
    <message>
        <source>Encrypt with a password from standard input.</source>
        <translation>Encrypt with a password from standard input.</translation>
    </message>
    <message>
        <source>List the containers waiting for you, one FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER line each.</source>
        <translation>List the containers waiting for you, one FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER line each.</translation>
    </message>
    <message>
        <source>Download a waiting container, decrypt it and extract it. Prints the folder.</source>
        <translation>Download a waiting container, decrypt it and extract it. Prints the folder.</translation>
    </message>
    <message>
        <source>FILEID</source>
        <translation>FILEID</translation>
    </message>
    <message>
        <source>Extract into DIR and remember it (default: the remembered folder).</source>
        <translation>Extract into DIR and remember it (default: the remembered folder).</translation>
    </message>
    <message>
        <source>DIR</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>Reject a waiting container. Asks first on a terminal.</source>
        <translation>Reject a waiting container. Asks first on a terminal.</translation>
    </message>
    <message>
        <source>Reject without asking.</source>
        <translation>Reject without asking.</translation>
    </message>
    <message>
        <source>Extract a local container. A password is read from the first line of standard input. Prints the folder.</source>
        <translation>Extract a local container. A password is read from the first line of standard input. Prints the folder.</translation>
    </message>
    <message>
        <source>FILE.tsyc</source>
        <translation>FILE.tsyc</translation>
    </message>
    <message>
        <source>Extract into DIR (default: the remembered folder).</source>
        <translation>Extract into DIR (default: the remembered folder).</translation>
    </message>
    <message>
        <source>Under each transfer, its files: one &lt;TAB&gt;SIZE&lt;TAB&gt;NAME line each.</source>
        <translation>Under each transfer, its files: one &lt;TAB&gt;SIZE&lt;TAB&gt;NAME line each.</translation>
    </message>
    <message>
        <source>No command given.</source>
        <translation>No command given.</translation>
    </message>
    <message>
        <source>Unknown command &quot;%1&quot;.</source>
        <translation>Unknown command &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>Another instance of Tessary is running for this user (lock file %1).</source>
        <translation>Another instance of Tessary is running for this user (lock file %1).</translation>
    </message>
    <message>
        <source>Canceled</source>
        <translation>Canceled</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>Looking up the contact</translation>
    </message>
    <message>
        <source>No contact with the key id %1.</source>
        <translation>No contact with the key id %1.</translation>
    </message>
    <message>
        <source>Cannot delete the contact %1.</source>
        <translation>Cannot delete the contact %1.</translation>
    </message>
    <message>
        <source>Give either --to KEYID or --password.</source>
        <translation>Give either --to KEYID or --password.</translation>
    </message>
    <message>
        <source>Nothing was rejected. Give --yes to reject without being asked.</source>
        <translation>Nothing was rejected. Give --yes to reject without being asked.</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Clearing the data on the server…</translation>
    </message>
    <message>
        <source>Checking deliveries</source>
        <translation>Checking deliveries</translation>
    </message>
    <message>
        <source>No such file or folder: %1</source>
        <translation>No such file or folder: %1</translation>
    </message>
    <message>
        <source>Nothing to send: the folders hold no files.</source>
        <translation>Nothing to send: the folders hold no files.</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>No password given: the first line of standard input is empty.</source>
        <translation>No password given: the first line of standard input is empty.</translation>
    </message>
    <message>
        <source>Checking for new files</source>
        <translation>Checking for new files</translation>
    </message>
    <message>
        <source>No container %1 is waiting for you.</source>
        <translation>No container %1 is waiting for you.</translation>
    </message>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>The folder %1 is not writable</translation>
    </message>
    <message>
        <source>Usage: tessary-cli COMMAND [options] [arguments]</source>
        <translation>Usage: tessary-cli COMMAND [options] [arguments]</translation>
    </message>
    <message>
        <source>Exchange end-to-end encrypted files through the Tessary server.</source>
        <translation>Exchange end-to-end encrypted files through the Tessary server.</translation>
    </message>
    <message>
        <source>Commands:</source>
        <translation>Commands:</translation>
    </message>
    <message>
        <source>Run &quot;tessary-cli COMMAND --help&quot; for the options of a command.</source>
        <translation>Run &quot;tessary-cli COMMAND --help&quot; for the options of a command.</translation>
    </message>
    <message>
        <source>Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another instance runs.</source>
        <translation>Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another instance runs.</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>Show this help and exit.</translation>
    </message>
    <message>
        <source>Missing arguments.</source>
        <translation>Missing arguments.</translation>
    </message>
    <message>
        <source>Too many arguments.</source>
        <translation>Too many arguments.</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>Usage: %1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Options:</translation>
    </message>
    <message>
        <source>List the uploads that were begun and not finished, one ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE line each.</source>
        <translation>List the uploads that were begun and not finished, one ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE line each.</translation>
    </message>
    <message>
        <source>Continue an unfinished upload from where it stopped. Prints the server&apos;s file id.</source>
        <translation>Continue an unfinished upload from where it stopped. Prints the server&apos;s file id.</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Give up an unfinished upload: the server forgets it and its container is deleted.</source>
        <translation>Give up an unfinished upload: the server forgets it and its container is deleted.</translation>
    </message>
    <message>
        <source>The server was not told; it deletes the upload by itself later.</source>
        <translation>The server was not told; it deletes the upload by itself later.</translation>
    </message>
    <message>
        <source>No unfinished upload %1.</source>
        <translation>No unfinished upload %1.</translation>
    </message>
    <message>
        <source>List the contacts, one KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified line each.</source>
        <translation>List the contacts, one KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified line each.</translation>
    </message>
    <message>
        <source>Print your own key&apos;s fingerprint, or a contact&apos;s with the safety number you both see. Compare it with the contact in person or on the phone.</source>
        <translation>Print your own key&apos;s fingerprint, or a contact&apos;s with the safety number you both see. Compare it with the contact in person or on the phone.</translation>
    </message>
    <message>
        <source>[KEYID]</source>
        <translation>[KEYID]</translation>
    </message>
    <message>
        <source>Mark a contact as verified, once you have compared the safety number with them.</source>
        <translation>Mark a contact as verified, once you have compared the safety number with them.</translation>
    </message>
    <message>
        <source>Accept the new key of a contact whose key has changed. The contact is not verified then.</source>
        <translation>Accept the new key of a contact whose key has changed. The contact is not verified then.</translation>
    </message>
    <message>
        <source>KEYID FINGERPRINT</source>
        <translation>KEYID FINGERPRINT</translation>
    </message>
    <message>
        <source>You have no key yet: &quot;tessary-cli id&quot; makes it.</source>
        <translation>You have no key yet: &quot;tessary-cli id&quot; makes it.</translation>
    </message>
    <message>
        <source>No key is pinned for %1 yet.</source>
        <translation>No key is pinned for %1 yet.</translation>
    </message>
    <message>
        <source>Fingerprint: %1</source>
        <translation>Fingerprint: %1</translation>
    </message>
    <message>
        <source>Safety number: %1</source>
        <translation>Safety number: %1</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Getting the contact&apos;s public PGP key from the server</translation>
    </message>
    <message>
        <source>To accept the new key: tessary-cli accept-key %1 %2</source>
        <translation>To accept the new key: tessary-cli accept-key %1 %2</translation>
    </message>
    <message>
        <source>List the transfers, newest first, after checking their delivery. One DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE line each; SIGNATURE says who signed a received container.</source>
        <translation>List the transfers, newest first, after checking their delivery. One DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE line each; SIGNATURE says who signed a received container.</translation>
    </message>
</context>
<context>
    <name>CliPrompter</name>
    <message>
        <source>[y/N]</source>
        <translation>[y/N]</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Password</translation>
    </message>
</context>
<context>
    <name>ContactKeys</name>
    <message>
        <source>The server answered with the key of %1 when asked for %2. It was not used.</source>
        <translation>The server answered with the key of %1 when asked for %2. It was not used.</translation>
    </message>
    <message>
        <source>The server sent an unusable key for %1. It was not used.</source>
        <translation>The server sent an unusable key for %1. It was not used.</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>Cannot update key data</translation>
    </message>
    <message>
        <source>The server now offers the key %1 for %2, not the one you accepted. Nothing was changed.</source>
        <translation>The server now offers the key %1 for %2, not the one you accepted. Nothing was changed.</translation>
    </message>
    <message>
        <source>Not among your contacts: nothing confirms who this is</source>
        <translation>Not among your contacts: nothing confirms who this is</translation>
    </message>
    <message>
        <source>Verified: you compared the safety number</source>
        <translation>Verified: you compared the safety number</translation>
    </message>
    <message>
        <source>Not verified: compare the safety number on the contact&apos;s page</source>
        <translation>Not verified: compare the safety number on the contact&apos;s page</translation>
    </message>
    <message>
        <source>Not signed: nothing confirms who sent it</source>
        <translation>Not signed: nothing confirms who sent it</translation>
    </message>
    <message>
        <source>Signed, not verified</source>
        <translation>Signed, not verified</translation>
    </message>
    <message>
        <source>Signed by you</source>
        <translation>Signed by you</translation>
    </message>
    <message>
        <source>Signed, verified</source>
        <translation>Signed, verified</translation>
    </message>
    <message>
        <source>Signed by %1, verified</source>
        <translation>Signed by %1, verified</translation>
    </message>
    <message>
        <source>Signed by %1, not verified</source>
        <translation>Signed by %1, not verified</translation>
    </message>
    <message>
        <source>Signed by a key that is not among your contacts</source>
        <translation>Signed by a key that is not among your contacts</translation>
    </message>
    <message>
        <source>The key of %1 has changed, so nothing was sent. Pinned key: %2. Key offered now: %3. Accept the new key only once %1 has confirmed it, for example by comparing the safety number.</source>
        <translation>The key of %1 has changed, so nothing was sent. Pinned key: %2. Key offered now: %3. Accept the new key only once %1 has confirmed it, for example by comparing the safety number.</translation>
    </message>
</context>
<context>
    <name>ContainerManager</name>
    <message>
        <source>Tessary container (*.tsyc)</source>
        <translation>Tessary container (*.tsyc)</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Success</translation>
    </message>
</context>
<context>
    <name>ContainerWriter</name>
    <message>
        <source>Calculating total size</source>
        <translation>Calculating the total size</translation>
    </message>
    <message>
        <source>The name %1 is too long for a container</source>
        <translation>The name %1 is too long for a container</translation>
    </message>
    <message>
        <source>Packing data</source>
        <translation>Packing the files</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Cannot open %1 for reading</translation>
    </message>
    <message>
        <source>The file %1 changed while it was being sent</source>
        <translation>The file %1 changed while it was being sent</translation>
    </message>
    <message>
        <source>Cannot encrypt data</source>
        <translation>Cannot encrypt the files</translation>
    </message>
    <message>
        <source>Your own key is missing, so the container cannot be signed</source>
        <translation>Your own key is missing, so the container cannot be signed</translation>
    </message>
</context>
<context>
    <name>Crypter</name>
    <message>
        <source>Cannot find %1 key</source>
        <translation>Cannot find the key %1</translation>
    </message>
    <message>
        <source>Cannot start gpg for import key</source>
        <translation>Cannot start gpg to import the key</translation>
    </message>
    <message>
        <source>Cannot import key</source>
        <translation>Cannot import the key</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</translation>
    </message>
    <message>
        <source>The password is too long or holds a line break</source>
        <translation>The password is too long or holds a line break</translation>
    </message>
</context>
<context>
    <name>DownloadJob</name>
    <message>
        <source>Invalid server response</source>
        <translation>The server&apos;s response is invalid</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>Connection lost, retrying in %1 s</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>Downloading the encrypted container</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was received is kept for the next try.</source>
        <translation>The connection to the server was lost (%1). What was received is kept for the next try.</translation>
    </message>
</context>
<context>
    <name>FirstStartJob</name>
    <message>
        <source>Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?</source>
        <translation>Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?</translation>
    </message>
    <message>
        <source>Error while generating PGP key pair</source>
        <translation>The PGP key pair could not be generated</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</translation>
    </message>
</context>
<context>
    <name>OpenJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Cannot open %1 for reading</translation>
    </message>
    <message>
        <source>Cannot decrypt container</source>
        <translation>Cannot decrypt the container</translation>
    </message>
    <message>
        <source>Decrypting container</source>
        <translation>Decrypting the container</translation>
    </message>
    <message>
        <source>Invalid container header</source>
        <translation>The container has an invalid header</translation>
    </message>
    <message>
        <source>Unknown container version</source>
        <translation>The container has an unknown version</translation>
    </message>
    <message>
        <source>Extracting %1</source>
        <translation>Extracting %1</translation>
    </message>
    <message>
        <source>No key is pinned for %1</source>
        <translation>No key is pinned for %1</translation>
    </message>
    <message>
        <source>The container&apos;s signature is not valid: it was forged or damaged. Nothing was extracted.</source>
        <translation>The container&apos;s signature is not valid: it was forged or damaged. Nothing was extracted.</translation>
    </message>
    <message>
        <source>The container is said to come from %1, but it is not signed by the key pinned for %1. Nothing was extracted.</source>
        <translation>The container is said to come from %1, but it is not signed by the key pinned for %1. Nothing was extracted.</translation>
    </message>
</context>
<context>
    <name>PageAddContact</name>
    <message>
        <source>For adding user, enter ID below</source>
        <translation>To add a contact, enter their ID below</translation>
    </message>
    <message>
        <source>Adding user</source>
        <translation>Adding a contact</translation>
    </message>
    <message>
        <source>User not found, check ID</source>
        <translation>No user has this ID. Please check it.</translation>
    </message>
    <message>
        <source>Contact ID</source>
        <translation>Contact ID</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>Looking up the user</translation>
    </message>
    <message>
        <source>Specify the user name under which it will be displayed in the list of your contacts</source>
        <translation>Enter the name under which this contact appears in your contact list</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Contact name</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>User successfully added</source>
        <translation>Contact added</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Done</translation>
    </message>
</context>
<context>
    <name>PageDownload</name>
    <message>
        <source>Transfer data request from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt; wants to send you files</translation>
    </message>
    <message>
        <source>There is new files for you</source>
        <translation>There are new files for you</translation>
    </message>
    <message>
        <source>Transfer data request from %1</source>
        <translation>%1 wants to send you files</translation>
    </message>
    <message>
        <source>Transfer data from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Receiving files from &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>Downloading from the server…</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>Decrypting…</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Clearing the data on the server…</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>Reject</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>Accept</translation>
    </message>
    <message>
        <source>Extract files to folder:</source>
        <translation>Save the files in this folder:</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Data successfully saved on your computer</source>
        <translation>The files are saved on your computer</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) saved</source>
        <translation>
            <numerusform>%n file saved</numerusform>
            <numerusform>%n files saved</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n not saved</source>
        <translation>
            <numerusform>%n not saved</numerusform>
            <numerusform>%n not saved</numerusform>
        </translation>
    </message>
    <message>
        <source>Open files directory</source>
        <translation>Open folder</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>and %n more</numerusform>
            <numerusform>and %n more</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PageEditContact</name>
    <message>
        <source>Edit contact</source>
        <translation>Edit contact</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Contact name</translation>
    </message>
    <message>
        <source>Error while saving contact</source>
        <translation>The contact could not be saved</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Are you really want to delete this contact ?</source>
        <translation>Do you really want to delete this contact?</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Fingerprint</translation>
    </message>
    <message>
        <source>Safety number</source>
        <translation>Safety number</translation>
    </message>
    <message>
        <source>Compare it with %1 in person or on the phone: they see the same digits for you.</source>
        <translation>Compare it with %1 in person or on the phone: they see the same digits for you.</translation>
    </message>
    <message>
        <source>Mark as not verified</source>
        <translation>Mark as not verified</translation>
    </message>
    <message>
        <source>Mark as verified</source>
        <translation>Mark as verified</translation>
    </message>
</context>
<context>
    <name>PageEventFiles</name>
    <message>
        <source>Files received from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Files received from &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Rejected transfer with &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Rejected transfer with &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Files sent to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Files sent to &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>No list of files was kept for this transfer.</source>
        <translation>No list of files was kept for this transfer.</translation>
    </message>
</context>
<context>
    <name>PageGenKeyPair</name>
    <message>
        <source>%1
Try again?</source>
        <translation>%1
Try again?</translation>
    </message>
    <message>
        <source>Welcome to Tessary</source>
        <translation>Welcome to Tessary</translation>
    </message>
    <message>
        <source>The program is started for the first time. For further work it is necessary to generate PGP keys. To do this, click &quot;Next&quot;</source>
        <translation>This is the first start of Tessary. It needs a pair of PGP keys to work: click &quot;Next&quot; to generate them.</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>Generating the PGP keys</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>Uploading the public PGP key to the server</translation>
    </message>
    <message>
        <source>Public key successfully uploaded</source>
        <translation>Public key uploaded</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>PageMain</name>
    <message>
        <source>Check now</source>
        <translation>Check now</translation>
    </message>
    <message>
        <source>Your ID</source>
        <translation>Your ID</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Contacts</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>Events</translation>
    </message>
    <message>
        <source>Your fingerprint</source>
        <translation>Your fingerprint</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Your contacts see this fingerprint for you on their contact page. The safety number you compare with each of them is made from it and theirs.</source>
        <translation>Your contacts see this fingerprint for you on their contact page. The safety number you compare with each of them is made from it and theirs.</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>Fingerprint</translation>
    </message>
</context>
<context>
    <name>PageSettings</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>Auto start on system boot</source>
        <translation>Start at logon</translation>
    </message>
    <message>
        <source>Launch minimized</source>
        <translation>Launch minimized</translation>
    </message>
    <message>
        <source>When a received file&apos;s name is taken</source>
        <translation>When a received file&apos;s name is taken</translation>
    </message>
    <message>
        <source>Keep both, the new file under a free name</source>
        <translation>Keep both, the new file under a free name</translation>
    </message>
    <message>
        <source>Replace the file that is there</source>
        <translation>Replace the file that is there</translation>
    </message>
    <message>
        <source>Keep the file that is there, skip the new one</source>
        <translation>Keep the file that is there, skip the new one</translation>
    </message>
    <message>
        <source>About application</source>
        <translation>About Tessary</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>Contact us</translation>
    </message>
    <message>
        <source>Language select</source>
        <translation>Choose a language</translation>
    </message>
    <message>
        <source>version</source>
        <translation>version</translation>
    </message>
    <message>
        <source>Developers</source>
        <translation>Developers</translation>
    </message>
    <message>
        <source>The Tessary team: C++, Qt, QML</source>
        <translation>The Tessary team: C++, Qt, QML</translation>
    </message>
    <message>
        <source>Design: the Tessary team</source>
        <translation>Design: the Tessary team</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>Your name</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>Email address</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Message successfully sended</source>
        <translation>Message sent</translation>
    </message>
    <message>
        <source>There is an error while sending message</source>
        <translation>The message could not be sent</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>PageShareFiles</name>
    <message>
        <source>Files list to transfer to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Files to send to &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Transfer data to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Sending files to &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Encrypting files...</source>
        <translation>Encrypting the files…</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>Uploading to the server…</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>Add files</translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>Add folder</translation>
    </message>
    <message>
        <source>Send files</source>
        <translation>Send files</translation>
    </message>
    <message>
        <source>Click %1 to add files to the queue. Or move the files with the mouse here</source>
        <translation>Click %1 to add files, or drag them here with the mouse</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Getting the contact&apos;s public PGP key from the server</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Data successfully uploaded</source>
        <translation>Files sent</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Accept the new key</source>
        <translation>Accept the new key</translation>
    </message>
</context>
<context>
    <name>ProgressBar</name>
    <message>
        <source>Generating PGP keys</source>
        <translation>Generating the PGP keys</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>Uploading the public PGP key to the server</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>Getting the contact&apos;s public PGP key from the server</translation>
    </message>
    <message>
        <source>Encrypting files...</source>
        <translation>Encrypting the files…</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>Uploading to the server…</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>Downloading from the server…</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>Decrypting…</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>Clearing the data on the server…</translation>
    </message>
</context>
<context>
    <name>PubKeysModel</name>
    <message>
        <source>Cannot update key data</source>
        <translation>Cannot update key data</translation>
    </message>
    <message>
        <source>An ID is made of digits only</source>
        <translation>An ID is made of digits only</translation>
    </message>
    <message>
        <source>Enter the ID of the contact</source>
        <translation>Enter the ID of the contact</translation>
    </message>
    <message>
        <source>This is your own ID</source>
        <translation>This is your own ID</translation>
    </message>
    <message>
        <source>You already have this contact</source>
        <translation>You already have this contact</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>SSL not supported, exiting</source>
        <translation>SSL is not supported here; Tessary cannot run</translation>
    </message>
    <message>
        <source>Some files are missing</source>
        <translation>Some of the program files are missing</translation>
    </message>
    <message>
        <source>Please reinstall application</source>
        <translation>Please reinstall Tessary</translation>
    </message>
    <message>
        <source>Cannot open database</source>
        <translation>Cannot open the database</translation>
    </message>
    <message>
        <source>Cannot read the certificate file %1: %2</source>
        <translation>Cannot read the certificate file %1: %2</translation>
    </message>
    <message>
        <source>The file %1 holds no PEM certificate</source>
        <translation>The file %1 holds no PEM certificate</translation>
    </message>
</context>
<context>
    <name>ReceiveJob</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>The folder %1 is not writable</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>Downloading the encrypted container</translation>
    </message>
</context>
<context>
    <name>RejectJob</name>
    <message>
        <source>Reject files</source>
        <translation>Reject files</translation>
    </message>
    <message>
        <source>Reject the files from %1 (%2)? The server deletes them, and they cannot be accepted later.</source>
        <translation>Reject the files from %1 (%2)? The server deletes them, and they cannot be accepted later.</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>Reject</translation>
    </message>
</context>
<context>
    <name>RelayClient</name>
    <message>
        <source>Network error occured: %1</source>
        <translation>Network error: %1</translation>
    </message>
    <message>
        <source>The server stopped responding</source>
        <translation>The server stopped responding</translation>
    </message>
    <message>
        <source>The server&apos;s reply is too large</source>
        <translation>The server&apos;s reply is too large</translation>
    </message>
    <message>
        <source>Cannot get server response</source>
        <translation>The server did not respond</translation>
    </message>
    <message>
        <source>Unknown server response</source>
        <translation>The server gave an unknown response</translation>
    </message>
    <message>
        <source>Invalid key id in response</source>
        <translation>The server&apos;s response holds an invalid key ID</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>The server&apos;s response is invalid</translation>
    </message>
    <message>
        <source>Invalid key data in response</source>
        <translation>The server&apos;s response holds invalid key data</translation>
    </message>
    <message>
        <source>Invalid file id in response</source>
        <translation>The server&apos;s response holds an invalid file ID</translation>
    </message>
    <message>
        <source>The server sent more than the announced %1 bytes</source>
        <translation>The server sent more than the announced %1 bytes</translation>
    </message>
    <message>
        <source>The server sent only %1 of the announced %2 bytes</source>
        <translation>The server sent only %1 of the announced %2 bytes</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>Cannot write to %1: %2</translation>
    </message>
</context>
<context>
    <name>SaveJob</name>
    <message>
        <source>Cannot open %1 for writing</source>
        <translation>Cannot open %1 for writing</translation>
    </message>
</context>
<context>
    <name>SendJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Cannot open %1 for reading</translation>
    </message>
</context>
<context>
    <name>ShareFilesModel</name>
    <message>
        <source>File count limit exceed</source>
        <translation>Too many files</translation>
    </message>
    <message>
        <source>You cannot add more than %1 files in one container</source>
        <translation>You cannot add more than %1 files in one container</translation>
    </message>
</context>
<context>
    <name>StagingFolder</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>The folder %1 is not writable</translation>
    </message>
    <message>
        <source>no free name for a folder</source>
        <translation>no free name for a folder</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>Cannot write to %1: %2</translation>
    </message>
    <message>
        <source>%1 cannot be created</source>
        <translation>%1 cannot be created</translation>
    </message>
</context>
<context>
    <name>TabContacts</name>
    <message>
        <source>Currently you don&apos;t have anyone in your contact list. Click %1 to add a user</source>
        <translation>Your contact list is empty. Click %1 to add a contact.</translation>
    </message>
</context>
<context>
    <name>TabEvents</name>
    <message>
        <source>Received</source>
        <translation>Received</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>Rejected</translation>
    </message>
    <message>
        <source>Wait deliver</source>
        <translation>Waiting for delivery</translation>
    </message>
    <message>
        <source>Delivered</source>
        <translation>Delivered</translation>
    </message>
    <message>
        <source>Upload not finished</source>
        <translation>Upload not finished</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>UploadJob</name>
    <message>
        <source>There is no unfinished upload %1.</source>
        <translation>There is no unfinished upload %1.</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>Cannot open %1 for reading</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>Connection lost, retrying in %1 s</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>The server&apos;s response is invalid</translation>
    </message>
    <message>
        <source>The server keeps losing the upload.</source>
        <translation>The server keeps losing the upload.</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was sent is kept; the upload can be resumed later.</source>
        <translation>The connection to the server was lost (%1). What was sent is kept; the upload can be resumed later.</translation>
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
        <translation>Quit</translation>
    </message>
    <message>
        <source>Tessary keeps running</source>
        <translation>Tessary keeps running</translation>
    </message>
    <message>
        <source>Tessary keeps running in the tray and receives files there. To end it, choose Quit in the menu of its tray icon.</source>
        <translation>Tessary keeps running in the tray and receives files there. To end it, choose Quit in the menu of its tray icon.</translation>
    </message>
</context>
</TS>
