<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
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
        <translation>已替换同名文件</translation>
    </message>
    <message>
        <source>sent as %1, a name that was taken</source>
        <translation>发送时名为 %1，该名称已被占用</translation>
    </message>
    <message>
        <source>not saved: the file of that name was kept</source>
        <translation>未保存：已保留同名文件</translation>
    </message>
    <message>
        <source>not saved: the name leads out of the folder</source>
        <translation>未保存：该名称指向文件夹之外</translation>
    </message>
</context>
<context>
    <name>CliApp</name>
    <message>
        <source>Print your own key id. The first time, generate the key pair and register it.</source>
        <translation>显示你自己的密钥 ID。首次使用时会生成密钥对并进行注册。</translation>
    </message>
    <message>
        <source>Add a contact by key id, optionally with a title.</source>
        <translation>按密钥 ID 添加联系人，可附带名称。</translation>
    </message>
    <message>
        <source>KEYID [TITLE]</source>
        <translation>KEYID [TITLE]</translation>
    </message>
    <message>
        <source>Change the title of a contact.</source>
        <translation>修改联系人的名称。</translation>
    </message>
    <message>
        <source>KEYID TITLE</source>
        <translation>KEYID TITLE</translation>
    </message>
    <message>
        <source>Remove a contact from this computer.</source>
        <translation>从这台计算机上删除联系人。</translation>
    </message>
    <message>
        <source>KEYID</source>
        <translation>KEYID</translation>
    </message>
    <message>
        <source>Send files and folders to a contact through the server. Prints the server&apos;s file id.</source>
        <translation>通过服务器向联系人发送文件和文件夹。输出服务器分配的文件 ID。</translation>
    </message>
    <message>
        <source>KEYID PATH...</source>
        <translation>KEYID PATH...</translation>
    </message>
    <message>
        <source>Save files and folders as a local container. It is encrypted to a contact&apos;s key (--to) or with a password read from the first line of standard input (--password).</source>
        <translation>将文件和文件夹保存为本地容器。容器使用联系人的密钥加密（--to），或使用从标准输入第一行读取的密码加密（--password）。</translation>
    </message>
    <message>
        <source>OUT.tsyc PATH...</source>
        <translation>OUT.tsyc PATH...</translation>
    </message>
    <message>
        <source>Encrypt to the key of contact KEYID.</source>
        <translation>使用联系人 KEYID 的密钥加密。</translation>
    </message>
    <message>
        <source>Encrypt with a password from standard input.</source>
        <translation>使用从标准输入读取的密码加密。</translation>
    </message>
    <message>
        <source>List the containers waiting for you, one FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER line each.</source>
        <translation>列出等待你接收的容器，每行一个：FILEID&lt;TAB&gt;SIZE&lt;TAB&gt;SENDER。</translation>
    </message>
    <message>
        <source>Download a waiting container, decrypt it and extract it. Prints the folder.</source>
        <translation>下载等待中的容器，解密并解压。输出目标文件夹。</translation>
    </message>
    <message>
        <source>FILEID</source>
        <translation>FILEID</translation>
    </message>
    <message>
        <source>Extract into DIR and remember it (default: the remembered folder).</source>
        <translation>解压到 DIR 并记住该位置（默认：上次记住的文件夹）。</translation>
    </message>
    <message>
        <source>DIR</source>
        <translation>DIR</translation>
    </message>
    <message>
        <source>Extract a local container. A password is read from the first line of standard input. Prints the folder.</source>
        <translation>解压本地容器。密码从标准输入的第一行读取。输出目标文件夹。</translation>
    </message>
    <message>
        <source>FILE.tsyc</source>
        <translation>FILE.tsyc</translation>
    </message>
    <message>
        <source>Extract into DIR (default: the remembered folder).</source>
        <translation>解压到 DIR（默认：上次记住的文件夹）。</translation>
    </message>
    <message>
        <source>No command given.</source>
        <translation>未指定命令。</translation>
    </message>
    <message>
        <source>Unknown command &quot;%1&quot;.</source>
        <translation>未知命令“%1”。</translation>
    </message>
    <message>
        <source>Another instance of Tessary is running for this user (lock file %1).</source>
        <translation>此用户已有另一个 Tessary 实例在运行（锁文件 %1）。</translation>
    </message>
    <message>
        <source>Canceled</source>
        <translation>已取消</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>正在查找用户</translation>
    </message>
    <message>
        <source>No contact with the key id %1.</source>
        <translation>没有密钥 ID 为 %1 的联系人。</translation>
    </message>
    <message>
        <source>Cannot delete the contact %1.</source>
        <translation>无法删除联系人 %1。</translation>
    </message>
    <message>
        <source>Give either --to KEYID or --password.</source>
        <translation>请指定 --to KEYID 或 --password 之一。</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>输入密码</translation>
    </message>
    <message>
        <source>No password given: the first line of standard input is empty.</source>
        <translation>未提供密码：标准输入的第一行为空。</translation>
    </message>
    <message>
        <source>Checking for new files</source>
        <translation>正在检查新文件</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>正在清除服务器上的数据……</translation>
    </message>
    <message>
        <source>Checking deliveries</source>
        <translation>正在检查送达状态</translation>
    </message>
    <message>
        <source>No such file or folder: %1</source>
        <translation>文件或文件夹不存在：%1</translation>
    </message>
    <message>
        <source>Nothing to send: the folders hold no files.</source>
        <translation>没有可发送的内容：这些文件夹中没有文件。</translation>
    </message>
    <message>
        <source>No container %1 is waiting for you.</source>
        <translation>没有编号为 %1 的容器在等待你接收。</translation>
    </message>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>目录 %1 不可写</translation>
    </message>
    <message>
        <source>Usage: tessary-cli COMMAND [options] [arguments]</source>
        <translation>用法：tessary-cli COMMAND [选项] [参数]</translation>
    </message>
    <message>
        <source>Exchange end-to-end encrypted files through the Tessary server.</source>
        <translation>通过 Tessary 服务器交换端到端加密的文件。</translation>
    </message>
    <message>
        <source>Commands:</source>
        <translation>命令：</translation>
    </message>
    <message>
        <source>Run &quot;tessary-cli COMMAND --help&quot; for the options of a command.</source>
        <translation>运行“tessary-cli COMMAND --help”查看某个命令的选项。</translation>
    </message>
    <message>
        <source>Exit codes: 0 success, 1 the operation failed, 2 usage error, 3 another instance runs.</source>
        <translation>退出码：0 成功，1 操作失败，2 用法错误，3 已有另一个实例在运行。</translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation>显示此帮助并退出。</translation>
    </message>
    <message>
        <source>Missing arguments.</source>
        <translation>缺少参数。</translation>
    </message>
    <message>
        <source>Too many arguments.</source>
        <translation>参数过多。</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>用法：%1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>选项：</translation>
    </message>
    <message>
        <source>List the uploads that were begun and not finished, one ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE line each.</source>
        <translation>列出已开始但未完成的上传，每行一个：ID&lt;TAB&gt;DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;SIZE。</translation>
    </message>
    <message>
        <source>Continue an unfinished upload from where it stopped. Prints the server&apos;s file id.</source>
        <translation>从中断处继续一个未完成的上传。输出服务器的文件 ID。</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Give up an unfinished upload: the server forgets it and its container is deleted.</source>
        <translation>放弃一个未完成的上传：服务器会忘记它，其容器将被删除。</translation>
    </message>
    <message>
        <source>The server was not told; it deletes the upload by itself later.</source>
        <translation>未能通知服务器；服务器稍后会自行删除该上传。</translation>
    </message>
    <message>
        <source>No unfinished upload %1.</source>
        <translation>没有未完成的上传 %1。</translation>
    </message>
    <message>
        <source>List the contacts, one KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified line each.</source>
        <translation>列出联系人，每个一行：KEYID&lt;TAB&gt;TITLE&lt;TAB&gt;verified|unverified。</translation>
    </message>
    <message>
        <source>Print your own key&apos;s fingerprint, or a contact&apos;s with the safety number you both see. Compare it with the contact in person or on the phone.</source>
        <translation>显示你自己密钥的指纹，或某个联系人的指纹以及你们双方看到的安全码。请当面或通过电话与联系人核对。</translation>
    </message>
    <message>
        <source>[KEYID]</source>
        <translation>[KEYID]</translation>
    </message>
    <message>
        <source>Mark a contact as verified, once you have compared the safety number with them.</source>
        <translation>在你与联系人核对过安全码之后，将其标记为已验证。</translation>
    </message>
    <message>
        <source>Accept the new key of a contact whose key has changed. The contact is not verified then.</source>
        <translation>接受密钥已更改的联系人的新密钥。之后该联系人为未验证状态。</translation>
    </message>
    <message>
        <source>KEYID FINGERPRINT</source>
        <translation>KEYID FINGERPRINT</translation>
    </message>
    <message>
        <source>You have no key yet: &quot;tessary-cli id&quot; makes it.</source>
        <translation>你还没有密钥：&quot;tessary-cli id&quot; 会生成它。</translation>
    </message>
    <message>
        <source>No key is pinned for %1 yet.</source>
        <translation>尚未为 %1 固定密钥。</translation>
    </message>
    <message>
        <source>Fingerprint: %1</source>
        <translation>指纹：%1</translation>
    </message>
    <message>
        <source>Safety number: %1</source>
        <translation>安全码：%1</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>正在从服务器获取 PGP 公钥</translation>
    </message>
    <message>
        <source>To accept the new key: tessary-cli accept-key %1 %2</source>
        <translation>如需接受新密钥：tessary-cli accept-key %1 %2</translation>
    </message>
    <message>
        <source>Reject a waiting container. Asks first on a terminal.</source>
        <translation>拒收一个等待中的容器。在终端上会先询问你。</translation>
    </message>
    <message>
        <source>Reject without asking.</source>
        <translation>不询问直接拒收。</translation>
    </message>
    <message>
        <source>Under each transfer, its files: one &lt;TAB&gt;SIZE&lt;TAB&gt;NAME line each.</source>
        <translation>在每次传输下列出其文件：每个一行 &lt;TAB&gt;SIZE&lt;TAB&gt;NAME。</translation>
    </message>
    <message>
        <source>Nothing was rejected. Give --yes to reject without being asked.</source>
        <translation>未拒收任何内容。使用 --yes 可不询问直接拒收。</translation>
    </message>
    <message>
        <source>List the transfers, newest first, after checking their delivery. One DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE line each; SIGNATURE says who signed a received container.</source>
        <translation>检查送达状态后列出传输记录，最新的在前。每行一条：DATETIME&lt;TAB&gt;KEYID&lt;TAB&gt;FILEID&lt;TAB&gt;STATUS&lt;TAB&gt;SIZE&lt;TAB&gt;SIGNATURE；SIGNATURE 说明收到的容器由谁签名。</translation>
    </message>
</context>
<context>
    <name>CliPrompter</name>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>[y/N]</source>
        <translation>[y/N]</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>是</translation>
    </message>
</context>
<context>
    <name>ContactKeys</name>
    <message>
        <source>The server answered with the key of %1 when asked for %2. It was not used.</source>
        <translation>请求 %2 的密钥时，服务器返回了 %1 的密钥。该密钥未被使用。</translation>
    </message>
    <message>
        <source>The server sent an unusable key for %1. It was not used.</source>
        <translation>服务器为 %1 发送了无法使用的密钥。该密钥未被使用。</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>无法更新密钥数据</translation>
    </message>
    <message>
        <source>The server now offers the key %1 for %2, not the one you accepted. Nothing was changed.</source>
        <translation>服务器现在为 %2 提供的是密钥 %1，而不是你接受的那个。未做任何更改。</translation>
    </message>
    <message>
        <source>Not among your contacts: nothing confirms who this is</source>
        <translation>不在你的联系人中：无法确认对方身份</translation>
    </message>
    <message>
        <source>Verified: you compared the safety number</source>
        <translation>已验证：你已核对安全码</translation>
    </message>
    <message>
        <source>Not verified: compare the safety number on the contact&apos;s page</source>
        <translation>未验证：请在联系人页面核对安全码</translation>
    </message>
    <message>
        <source>Not signed: nothing confirms who sent it</source>
        <translation>未签名：无法确认发送者</translation>
    </message>
    <message>
        <source>Signed, not verified</source>
        <translation>已签名，未验证</translation>
    </message>
    <message>
        <source>Signed by you</source>
        <translation>由你签名</translation>
    </message>
    <message>
        <source>Signed, verified</source>
        <translation>已签名，已验证</translation>
    </message>
    <message>
        <source>Signed by %1, verified</source>
        <translation>由 %1 签名，已验证</translation>
    </message>
    <message>
        <source>Signed by %1, not verified</source>
        <translation>由 %1 签名，未验证</translation>
    </message>
    <message>
        <source>Signed by a key that is not among your contacts</source>
        <translation>由不在你联系人中的密钥签名</translation>
    </message>
    <message>
        <source>The key of %1 has changed, so nothing was sent. Pinned key: %2. Key offered now: %3. Accept the new key only once %1 has confirmed it, for example by comparing the safety number.</source>
        <translation>%1 的密钥已更改，因此未发送任何内容。已固定的密钥：%2。现在提供的密钥：%3。请在 %1 确认之后再接受新密钥，例如通过核对安全码。</translation>
    </message>
</context>
<context>
    <name>ContainerManager</name>
    <message>
        <source>Tessary container (*.tsyc)</source>
        <translation>Tessary 容器 (*.tsyc)</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>成功</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>输入密码</translation>
    </message>
</context>
<context>
    <name>ContainerWriter</name>
    <message>
        <source>Calculating total size</source>
        <translation>正在计算总大小</translation>
    </message>
    <message>
        <source>The name %1 is too long for a container</source>
        <translation>名称 %1 过长，无法放入容器</translation>
    </message>
    <message>
        <source>Packing data</source>
        <translation>正在打包数据</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>无法打开 %1 进行读取</translation>
    </message>
    <message>
        <source>The file %1 changed while it was being sent</source>
        <translation>文件 %1 在发送过程中被修改</translation>
    </message>
    <message>
        <source>Cannot encrypt data</source>
        <translation>无法加密数据</translation>
    </message>
    <message>
        <source>Your own key is missing, so the container cannot be signed</source>
        <translation>缺少你自己的密钥，因此无法为容器签名</translation>
    </message>
</context>
<context>
    <name>Crypter</name>
    <message>
        <source>Cannot find %1 key</source>
        <translation>找不到密钥 %1</translation>
    </message>
    <message>
        <source>Cannot start gpg for import key</source>
        <translation>无法启动 gpg 导入密钥</translation>
    </message>
    <message>
        <source>Cannot import key</source>
        <translation>无法导入密钥</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg 无法连接到它的代理程序。当其主目录路径 %1 对代理的套接字而言过长时会出现这种情况；使用较短的主目录路径即可避免。</translation>
    </message>
    <message>
        <source>The password is too long or holds a line break</source>
        <translation>密码过长或包含换行符</translation>
    </message>
</context>
<context>
    <name>DownloadJob</name>
    <message>
        <source>Invalid server response</source>
        <translation>服务器响应无效</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>连接中断，%1 秒后重试</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>正在下载加密容器</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was received is kept for the next try.</source>
        <translation>与服务器的连接已中断（%1）。已接收的部分会保留，供下次继续。</translation>
    </message>
</context>
<context>
    <name>FirstStartJob</name>
    <message>
        <source>Cannot start gpg to generate a key pair. Is GnuPG installed and on the PATH?</source>
        <translation>无法启动 gpg 生成密钥对。GnuPG 是否已安装并位于 PATH 中？</translation>
    </message>
    <message>
        <source>Error while generating PGP key pair</source>
        <translation>生成 PGP 密钥对时出错</translation>
    </message>
    <message>
        <source>gpg could not reach its agent. This happens when the path of its home directory %1 is too long for the agent&apos;s socket; a shorter home directory path avoids it.</source>
        <translation>gpg 无法连接到它的代理程序。当其主目录路径 %1 对代理的套接字而言过长时会出现这种情况；使用较短的主目录路径即可避免。</translation>
    </message>
</context>
<context>
    <name>OpenJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>无法打开 %1 进行读取</translation>
    </message>
    <message>
        <source>Cannot decrypt container</source>
        <translation>无法解密容器</translation>
    </message>
    <message>
        <source>Decrypting container</source>
        <translation>正在解密容器</translation>
    </message>
    <message>
        <source>Invalid container header</source>
        <translation>容器头无效</translation>
    </message>
    <message>
        <source>Unknown container version</source>
        <translation>未知的容器版本</translation>
    </message>
    <message>
        <source>Extracting %1</source>
        <translation>正在解压 %1</translation>
    </message>
    <message>
        <source>No key is pinned for %1</source>
        <translation>未为 %1 固定密钥</translation>
    </message>
    <message>
        <source>The container&apos;s signature is not valid: it was forged or damaged. Nothing was extracted.</source>
        <translation>容器的签名无效：它被伪造或已损坏。未解压任何内容。</translation>
    </message>
    <message>
        <source>The container is said to come from %1, but it is not signed by the key pinned for %1. Nothing was extracted.</source>
        <translation>该容器据称来自 %1，但并未使用为 %1 固定的密钥签名。未解压任何内容。</translation>
    </message>
</context>
<context>
    <name>PageAddContact</name>
    <message>
        <source>For adding user, enter ID below</source>
        <translation>要添加用户，请在下方输入其 ID</translation>
    </message>
    <message>
        <source>Adding user</source>
        <translation>添加用户</translation>
    </message>
    <message>
        <source>User not found, check ID</source>
        <translation>未找到用户，请检查 ID</translation>
    </message>
    <message>
        <source>Contact ID</source>
        <translation>联系人 ID</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>Finding user</source>
        <translation>正在查找用户</translation>
    </message>
    <message>
        <source>Specify the user name under which it will be displayed in the list of your contacts</source>
        <translation>请输入该用户在你的联系人列表中显示的名称</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>联系人名称</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>User successfully added</source>
        <translation>已成功添加用户</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
</context>
<context>
    <name>PageDownload</name>
    <message>
        <source>Transfer data request from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>&lt;b&gt;%1&lt;/b&gt; 请求向你传输数据</translation>
    </message>
    <message>
        <source>There is new files for you</source>
        <translation>你有新文件</translation>
    </message>
    <message>
        <source>Transfer data request from %1</source>
        <translation>%1 请求向你传输数据</translation>
    </message>
    <message>
        <source>Transfer data from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>接收来自 &lt;b&gt;%1&lt;/b&gt; 的数据</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>正在从服务器下载数据……</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>正在解密数据……</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>正在清除服务器上的数据……</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>拒收</translation>
    </message>
    <message>
        <source>Accept</source>
        <translation>接收</translation>
    </message>
    <message>
        <source>Extract files to folder:</source>
        <translation>将文件解压到文件夹：</translation>
    </message>
    <message>
        <source>Change</source>
        <translation>更改</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Data successfully saved on your computer</source>
        <translation>数据已成功保存到你的计算机上</translation>
    </message>
    <message>
        <source>Open files directory</source>
        <translation>打开文件夹</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message numerus="yes">
        <source>%n file(s) saved</source>
        <translation>
            <numerusform>已保存 %n 个文件</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n not saved</source>
        <translation>
            <numerusform>%n 个未保存</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>and %n more</source>
        <translation>
            <numerusform>还有 %n 个</numerusform>
        </translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
</context>
<context>
    <name>PageEditContact</name>
    <message>
        <source>Edit contact</source>
        <translation>编辑联系人</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>联系人名称</translation>
    </message>
    <message>
        <source>Error while saving contact</source>
        <translation>保存联系人时出错</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>保存</translation>
    </message>
    <message>
        <source>Are you really want to delete this contact ?</source>
        <translation>确定要删除这个联系人吗？</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>指纹</translation>
    </message>
    <message>
        <source>Safety number</source>
        <translation>安全码</translation>
    </message>
    <message>
        <source>Compare it with %1 in person or on the phone: they see the same digits for you.</source>
        <translation>请当面或通过电话与 %1 核对：对方看到的关于你的数字与此相同。</translation>
    </message>
    <message>
        <source>Mark as not verified</source>
        <translation>标记为未验证</translation>
    </message>
    <message>
        <source>Mark as verified</source>
        <translation>标记为已验证</translation>
    </message>
</context>
<context>
    <name>PageEventFiles</name>
    <message>
        <source>Files received from &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>从 &lt;b&gt;%1&lt;/b&gt; 收到的文件</translation>
    </message>
    <message>
        <source>Rejected transfer with &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>与 &lt;b&gt;%1&lt;/b&gt; 之间被拒收的传输</translation>
    </message>
    <message>
        <source>Files sent to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>发送给 &lt;b&gt;%1&lt;/b&gt; 的文件</translation>
    </message>
    <message>
        <source>No list of files was kept for this transfer.</source>
        <translation>此次传输没有保存文件列表。</translation>
    </message>
</context>
<context>
    <name>PageGenKeyPair</name>
    <message>
        <source>%1
Try again?</source>
        <translation>%1
是否重试？</translation>
    </message>
    <message>
        <source>Welcome to Tessary</source>
        <translation>欢迎使用 Tessary</translation>
    </message>
    <message>
        <source>The program is started for the first time. For further work it is necessary to generate PGP keys. To do this, click &quot;Next&quot;</source>
        <translation>这是程序首次启动。继续使用前需要生成 PGP 密钥，请点击“下一步”</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>下一步</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>正在生成 PGP 密钥</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>正在将 PGP 公钥上传到服务器</translation>
    </message>
    <message>
        <source>Public key successfully uploaded</source>
        <translation>公钥已成功上传</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>PageMain</name>
    <message>
        <source>Your ID</source>
        <translation>你的 ID</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>联系人</translation>
    </message>
    <message>
        <source>Events</source>
        <translation>事件</translation>
    </message>
    <message>
        <source>Your fingerprint</source>
        <translation>你的指纹</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Your contacts see this fingerprint for you on their contact page. The safety number you compare with each of them is made from it and theirs.</source>
        <translation>你的联系人会在他们的联系人页面上看到你的这个指纹。你与每位联系人核对的安全码由它和对方的指纹生成。</translation>
    </message>
    <message>
        <source>Fingerprint</source>
        <translation>指纹</translation>
    </message>
    <message>
        <source>Check now</source>
        <translation>立即检查</translation>
    </message>
</context>
<context>
    <name>PageSettings</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message>
        <source>Auto start on system boot</source>
        <translation>开机时自动启动</translation>
    </message>
    <message>
        <source>Launch minimized</source>
        <translation>启动时最小化</translation>
    </message>
    <message>
        <source>About application</source>
        <translation>关于应用程序</translation>
    </message>
    <message>
        <source>Contact us</source>
        <translation>联系我们</translation>
    </message>
    <message>
        <source>Language select</source>
        <translation>选择语言</translation>
    </message>
    <message>
        <source>version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>Developers</source>
        <translation>开发者</translation>
    </message>
    <message>
        <source>The Tessary team: C++, Qt, QML</source>
        <translation>Tessary 团队：C++、Qt、QML</translation>
    </message>
    <message>
        <source>Design: the Tessary team</source>
        <translation>设计：Tessary 团队</translation>
    </message>
    <message>
        <source>Contact name</source>
        <translation>你的姓名</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>电子邮箱</translation>
    </message>
    <message>
        <source>Message text</source>
        <translation>留言内容</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>发送</translation>
    </message>
    <message>
        <source>Message successfully sended</source>
        <translation>留言已成功发送</translation>
    </message>
    <message>
        <source>There is an error while sending message</source>
        <translation>发送留言时出错</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>When a received file&apos;s name is taken</source>
        <translation>收到的文件名称已被占用时</translation>
    </message>
    <message>
        <source>Keep both, the new file under a free name</source>
        <translation>两者都保留，新文件使用空闲名称</translation>
    </message>
    <message>
        <source>Replace the file that is there</source>
        <translation>替换已有的文件</translation>
    </message>
    <message>
        <source>Keep the file that is there, skip the new one</source>
        <translation>保留已有的文件，跳过新文件</translation>
    </message>
</context>
<context>
    <name>PageShareFiles</name>
    <message>
        <source>Files list to transfer to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>要发送给 &lt;b&gt;%1&lt;/b&gt; 的文件</translation>
    </message>
    <message>
        <source>Transfer data to &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>向 &lt;b&gt;%1&lt;/b&gt; 发送数据</translation>
    </message>
    <message>
        <source>Encrypting files...</source>
        <translation>正在加密文件……</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>正在上传数据到服务器……</translation>
    </message>
    <message>
        <source>Add files</source>
        <translation>添加文件</translation>
    </message>
    <message>
        <source>Send files</source>
        <translation>发送文件</translation>
    </message>
    <message>
        <source>Click %1 to add files to the queue. Or move the files with the mouse here</source>
        <translation>点击 %1 将文件添加到队列，或用鼠标将文件拖到此处</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>正在从服务器获取 PGP 公钥</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Data successfully uploaded</source>
        <translation>数据已成功上传</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Accept the new key</source>
        <translation>接受新密钥</translation>
    </message>
    <message>
        <source>Add folder</source>
        <translation>添加文件夹</translation>
    </message>
</context>
<context>
    <name>ProgressBar</name>
    <message>
        <source>Encrypting files...</source>
        <translation>正在加密文件……</translation>
    </message>
    <message>
        <source>Uploading data to server...</source>
        <translation>正在上传数据到服务器……</translation>
    </message>
    <message>
        <source>Decrypting data...</source>
        <translation>正在解密数据……</translation>
    </message>
    <message>
        <source>Generating PGP keys</source>
        <translation>正在生成 PGP 密钥</translation>
    </message>
    <message>
        <source>Uploading public PGP key to server</source>
        <translation>正在将 PGP 公钥上传到服务器</translation>
    </message>
    <message>
        <source>Getting public PGP key from server</source>
        <translation>正在从服务器获取 PGP 公钥</translation>
    </message>
    <message>
        <source>Downloading data from server...</source>
        <translation>正在从服务器下载数据……</translation>
    </message>
    <message>
        <source>Clear data on server...</source>
        <translation>正在清除服务器上的数据……</translation>
    </message>
</context>
<context>
    <name>PubKeysModel</name>
    <message>
        <source>You already have this contact</source>
        <translation>你已经有这个联系人了</translation>
    </message>
    <message>
        <source>Cannot update key data</source>
        <translation>无法更新密钥数据</translation>
    </message>
    <message>
        <source>An ID is made of digits only</source>
        <translation>ID 只能由数字组成</translation>
    </message>
    <message>
        <source>Enter the ID of the contact</source>
        <translation>请输入联系人的 ID</translation>
    </message>
    <message>
        <source>This is your own ID</source>
        <translation>这是你自己的 ID</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>SSL not supported, exiting</source>
        <translation>不支持 SSL，程序即将退出</translation>
    </message>
    <message>
        <source>Some files are missing</source>
        <translation>缺少部分文件</translation>
    </message>
    <message>
        <source>Please reinstall application</source>
        <translation>请重新安装应用程序</translation>
    </message>
    <message>
        <source>Cannot open database</source>
        <translation>无法打开数据库</translation>
    </message>
    <message>
        <source>Cannot read the certificate file %1: %2</source>
        <translation>无法读取证书文件 %1：%2</translation>
    </message>
    <message>
        <source>The file %1 holds no PEM certificate</source>
        <translation>文件 %1 中没有 PEM 证书</translation>
    </message>
</context>
<context>
    <name>ReceiveJob</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>目录 %1 不可写</translation>
    </message>
    <message>
        <source>Downloading crypted container</source>
        <translation>正在下载加密容器</translation>
    </message>
</context>
<context>
    <name>RejectJob</name>
    <message>
        <source>Reject files</source>
        <translation>拒收文件</translation>
    </message>
    <message>
        <source>Reject the files from %1 (%2)? The server deletes them, and they cannot be accepted later.</source>
        <translation>拒收来自 %1 的文件（%2）？服务器会删除它们，之后你将无法再接收。</translation>
    </message>
    <message>
        <source>Reject</source>
        <translation>拒收</translation>
    </message>
</context>
<context>
    <name>RelayClient</name>
    <message>
        <source>Network error occured: %1</source>
        <translation>网络错误：%1</translation>
    </message>
    <message>
        <source>The server stopped responding</source>
        <translation>服务器停止响应</translation>
    </message>
    <message>
        <source>The server&apos;s reply is too large</source>
        <translation>服务器的响应过大</translation>
    </message>
    <message>
        <source>Cannot get server response</source>
        <translation>无法获得服务器响应</translation>
    </message>
    <message>
        <source>Unknown server response</source>
        <translation>未知的服务器响应</translation>
    </message>
    <message>
        <source>Invalid key id in response</source>
        <translation>响应中的密钥 ID 无效</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>服务器响应无效</translation>
    </message>
    <message>
        <source>Invalid key data in response</source>
        <translation>响应中的密钥数据无效</translation>
    </message>
    <message>
        <source>Invalid file id in response</source>
        <translation>响应中的文件 ID 无效</translation>
    </message>
    <message>
        <source>The server sent more than the announced %1 bytes</source>
        <translation>服务器发送的数据超过了声明的 %1 字节</translation>
    </message>
    <message>
        <source>The server sent only %1 of the announced %2 bytes</source>
        <translation>服务器只发送了声明的 %2 字节中的 %1 字节</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>SaveJob</name>
    <message>
        <source>Cannot open %1 for writing</source>
        <translation>无法打开 %1 进行写入</translation>
    </message>
</context>
<context>
    <name>SendJob</name>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>无法打开 %1 进行读取</translation>
    </message>
</context>
<context>
    <name>ShareFilesModel</name>
    <message>
        <source>File count limit exceed</source>
        <translation>文件数量超出上限</translation>
    </message>
    <message>
        <source>You cannot add more than %1 files in one container</source>
        <translation>一个容器中最多只能添加 %1 个文件</translation>
    </message>
</context>
<context>
    <name>StagingFolder</name>
    <message>
        <source>Directory %1 is not writable</source>
        <translation>目录 %1 不可写</translation>
    </message>
    <message>
        <source>Cannot write to %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>%1 cannot be created</source>
        <translation>无法创建 %1</translation>
    </message>
    <message>
        <source>no free name for a folder</source>
        <translation>没有可用的文件夹名称</translation>
    </message>
</context>
<context>
    <name>TabContacts</name>
    <message>
        <source>Currently you don&apos;t have anyone in your contact list. Click %1 to add a user</source>
        <translation>你的联系人列表中还没有任何人。点击 %1 添加用户</translation>
    </message>
</context>
<context>
    <name>TabEvents</name>
    <message>
        <source>Received</source>
        <translation>已接收</translation>
    </message>
    <message>
        <source>Rejected</source>
        <translation>已拒收</translation>
    </message>
    <message>
        <source>Wait deliver</source>
        <translation>等待送达</translation>
    </message>
    <message>
        <source>Delivered</source>
        <translation>已送达</translation>
    </message>
    <message>
        <source>Upload not finished</source>
        <translation>上传未完成</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>UploadJob</name>
    <message>
        <source>There is no unfinished upload %1.</source>
        <translation>不存在未完成的上传 %1。</translation>
    </message>
    <message>
        <source>Cannot open %1 for reading</source>
        <translation>无法打开 %1 进行读取</translation>
    </message>
    <message>
        <source>Connection lost, retrying in %1 s</source>
        <translation>连接中断，%1 秒后重试</translation>
    </message>
    <message>
        <source>Invalid server response</source>
        <translation>服务器响应无效</translation>
    </message>
    <message>
        <source>The server keeps losing the upload.</source>
        <translation>服务器反复丢失该上传。</translation>
    </message>
    <message>
        <source>The connection to the server was lost (%1). What was sent is kept; the upload can be resumed later.</source>
        <translation>与服务器的连接已中断（%1）。已发送的部分会保留，你可以稍后继续上传。</translation>
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
        <translation>退出</translation>
    </message>
    <message>
        <source>Tessary keeps running</source>
        <translation>Tessary 仍在运行</translation>
    </message>
    <message>
        <source>Tessary keeps running in the tray and receives files there. To end it, choose Quit in the menu of its tray icon.</source>
        <translation>Tessary 会在托盘中继续运行并接收文件。要退出，请在其托盘图标的菜单中选择“退出”。</translation>
    </message>
</context>
</TS>
