// Reading KeePass 2 XML exports: the export keepassxc-cli writes, and small
// exports in KeePass's own layout (CR LF, times as ISO text) that each show
// one rule: which groups become folders, which values are kept as written,
// what goes into the notes, what is refused, how the file's encoding is
// found, and which files are no export or a damaged one.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "AutoType.h"
#include "ImportKeePassXml.h"

namespace {

using Folders = std::vector<std::vector<std::string>>;

// The export keepassxc-cli 2.7 writes ("export -f xml") of a KDBX 4 database:
// groups Bank, Bank/Cards, an empty group and the recycle bin, a root entry
// edited once (history), an attachment, an entry merged in from KDBX 3.1 with
// custom strings, window associations and an expiry date.
const std::string kKeePassXcExport =
    R"xml(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<KeePassFile>
	<Meta>
		<Generator>KeePassXC</Generator>
		<DatabaseName/>
		<DatabaseNameChanged>Qpyt4g4AAAA=</DatabaseNameChanged>
		<DatabaseDescription/>
		<DatabaseDescriptionChanged>Qpyt4g4AAAA=</DatabaseDescriptionChanged>
		<DefaultUserName/>
		<DefaultUserNameChanged>Qpyt4g4AAAA=</DefaultUserNameChanged>
		<MaintenanceHistoryDays>365</MaintenanceHistoryDays>
		<Color/>
		<MasterKeyChanged>Qpyt4g4AAAA=</MasterKeyChanged>
		<MasterKeyChangeRec>-1</MasterKeyChangeRec>
		<MasterKeyChangeForce>-1</MasterKeyChangeForce>
		<MemoryProtection>
			<ProtectTitle>False</ProtectTitle>
			<ProtectUserName>False</ProtectUserName>
			<ProtectPassword>True</ProtectPassword>
			<ProtectURL>False</ProtectURL>
			<ProtectNotes>False</ProtectNotes>
		</MemoryProtection>
		<CustomIcons/>
		<RecycleBinEnabled>True</RecycleBinEnabled>
		<RecycleBinUUID>KQS3Ye2zQleRFqw2rWcSNw==</RecycleBinUUID>
		<RecycleBinChanged>RJyt4g4AAAA=</RecycleBinChanged>
		<EntryTemplatesGroup>AAAAAAAAAAAAAAAAAAAAAA==</EntryTemplatesGroup>
		<EntryTemplatesGroupChanged>Qpyt4g4AAAA=</EntryTemplatesGroupChanged>
		<LastSelectedGroup>AAAAAAAAAAAAAAAAAAAAAA==</LastSelectedGroup>
		<LastTopVisibleGroup>AAAAAAAAAAAAAAAAAAAAAA==</LastTopVisibleGroup>
		<HistoryMaxItems>10</HistoryMaxItems>
		<HistoryMaxSize>6291456</HistoryMaxSize>
		<SettingsChanged>RJyt4g4AAAA=</SettingsChanged>
	</Meta>
	<Root>
		<Group>
			<UUID>heNLrE95QQqV8gTEG18IjQ==</UUID>
			<Name>Passwords</Name>
			<Notes/>
			<IconID>48</IconID>
			<Times>
				<LastModificationTime>RJyt4g4AAAA=</LastModificationTime>
				<CreationTime>Qpyt4g4AAAA=</CreationTime>
				<LastAccessTime>RJyt4g4AAAA=</LastAccessTime>
				<ExpiryTime>Qpyt4g4AAAA=</ExpiryTime>
				<Expires>False</Expires>
				<UsageCount>0</UsageCount>
				<LocationChanged>Qpyt4g4AAAA=</LocationChanged>
			</Times>
			<IsExpanded>True</IsExpanded>
			<DefaultAutoTypeSequence/>
			<EnableAutoType>null</EnableAutoType>
			<EnableSearching>null</EnableSearching>
			<LastTopVisibleEntry>AAAAAAAAAAAAAAAAAAAAAA==</LastTopVisibleEntry>
			<Entry>
				<UUID>AcDfKU9OS9qE4bo4yOFOxQ==</UUID>
				<IconID>0</IconID>
				<ForegroundColor/>
				<BackgroundColor/>
				<OverrideURL/>
				<Tags/>
				<Times>
					<LastModificationTime>Q5yt4g4AAAA=</LastModificationTime>
					<CreationTime>Q5yt4g4AAAA=</CreationTime>
					<LastAccessTime>Q5yt4g4AAAA=</LastAccessTime>
					<ExpiryTime>Q5yt4g4AAAA=</ExpiryTime>
					<Expires>False</Expires>
					<UsageCount>0</UsageCount>
					<LocationChanged>Q5yt4g4AAAA=</LocationChanged>
				</Times>
				<String>
					<Key>Notes</Key>
					<Value/>
				</String>
				<String>
					<Key>Password</Key>
					<Value ProtectInMemory="True">new</Value>
				</String>
				<String>
					<Key>Title</Key>
					<Value>Mail</Value>
				</String>
				<String>
					<Key>URL</Key>
					<Value/>
				</String>
				<String>
					<Key>UserName</Key>
					<Value>mail</Value>
				</String>
				<AutoType>
					<Enabled>True</Enabled>
					<DataTransferObfuscation>0</DataTransferObfuscation>
					<DefaultSequence/>
				</AutoType>
				<History>
					<Entry>
						<UUID>AcDfKU9OS9qE4bo4yOFOxQ==</UUID>
						<IconID>0</IconID>
						<ForegroundColor/>
						<BackgroundColor/>
						<OverrideURL/>
						<Tags/>
						<Times>
							<LastModificationTime>Q5yt4g4AAAA=</LastModificationTime>
							<CreationTime>Q5yt4g4AAAA=</CreationTime>
							<LastAccessTime>Q5yt4g4AAAA=</LastAccessTime>
							<ExpiryTime>Q5yt4g4AAAA=</ExpiryTime>
							<Expires>False</Expires>
							<UsageCount>0</UsageCount>
							<LocationChanged>Q5yt4g4AAAA=</LocationChanged>
						</Times>
						<String>
							<Key>Notes</Key>
							<Value/>
						</String>
						<String>
							<Key>Password</Key>
							<Value ProtectInMemory="True">old</Value>
						</String>
						<String>
							<Key>Title</Key>
							<Value>Mail</Value>
						</String>
						<String>
							<Key>URL</Key>
							<Value/>
						</String>
						<String>
							<Key>UserName</Key>
							<Value>mail</Value>
						</String>
						<AutoType>
							<Enabled>True</Enabled>
							<DataTransferObfuscation>0</DataTransferObfuscation>
							<DefaultSequence/>
						</AutoType>
					</Entry>
				</History>
			</Entry>
			<Entry>
				<UUID>KJp7n6BWTmuAFIGH0LWFCg==</UUID>
				<IconID>0</IconID>
				<ForegroundColor/>
				<BackgroundColor/>
				<OverrideURL/>
				<Tags/>
				<Times>
					<LastModificationTime>TJyt4g4AAAA=</LastModificationTime>
					<CreationTime>TJyt4g4AAAA=</CreationTime>
					<LastAccessTime>TJyt4g4AAAA=</LastAccessTime>
					<ExpiryTime>eMSc6g4AAAA=</ExpiryTime>
					<Expires>True</Expires>
					<UsageCount>0</UsageCount>
					<LocationChanged>TJyt4g4AAAA=</LocationChanged>
				</Times>
				<String>
					<Key>Notes</Key>
					<Value/>
				</String>
				<String>
					<Key>PIN</Key>
					<Value>4711</Value>
				</String>
				<String>
					<Key>Password</Key>
					<Value ProtectInMemory="True"/>
				</String>
				<String>
					<Key>Recovery</Key>
					<Value>a
b</Value>
				</String>
				<String>
					<Key>Title</Key>
					<Value>Shop</Value>
				</String>
				<String>
					<Key>URL</Key>
					<Value/>
				</String>
				<String>
					<Key>UserName</Key>
					<Value/>
				</String>
				<AutoType>
					<Enabled>True</Enabled>
					<DataTransferObfuscation>0</DataTransferObfuscation>
					<DefaultSequence/>
					<Association>
						<Window>Shop - *</Window>
						<KeystrokeSequence/>
					</Association>
					<Association>
						<Window>*Login*</Window>
						<KeystrokeSequence>{USERNAME}{ENTER}</KeystrokeSequence>
					</Association>
				</AutoType>
				<History/>
			</Entry>
)xml"
    R"xml(			<Group>
				<UUID>hdNm87wlSBS6S1xkELHaOw==</UUID>
				<Name>Bank</Name>
				<Notes/>
				<IconID>48</IconID>
				<Times>
					<LastModificationTime>RJyt4g4AAAA=</LastModificationTime>
					<CreationTime>Qpyt4g4AAAA=</CreationTime>
					<LastAccessTime>RJyt4g4AAAA=</LastAccessTime>
					<ExpiryTime>Qpyt4g4AAAA=</ExpiryTime>
					<Expires>False</Expires>
					<UsageCount>0</UsageCount>
					<LocationChanged>Qpyt4g4AAAA=</LocationChanged>
				</Times>
				<IsExpanded>True</IsExpanded>
				<DefaultAutoTypeSequence/>
				<EnableAutoType>null</EnableAutoType>
				<EnableSearching>null</EnableSearching>
				<LastTopVisibleEntry>AAAAAAAAAAAAAAAAAAAAAA==</LastTopVisibleEntry>
				<Entry>
					<UUID>O9H5kePYS6aUlm+K0eCMpQ==</UUID>
					<IconID>0</IconID>
					<ForegroundColor/>
					<BackgroundColor/>
					<OverrideURL/>
					<Tags/>
					<Times>
						<LastModificationTime>Q5yt4g4AAAA=</LastModificationTime>
						<CreationTime>Q5yt4g4AAAA=</CreationTime>
						<LastAccessTime>Q5yt4g4AAAA=</LastAccessTime>
						<ExpiryTime>Q5yt4g4AAAA=</ExpiryTime>
						<Expires>False</Expires>
						<UsageCount>0</UsageCount>
						<LocationChanged>Q5yt4g4AAAA=</LocationChanged>
					</Times>
					<String>
						<Key>Notes</Key>
						<Value>line one
line &lt;two&gt;</Value>
					</String>
					<String>
						<Key>Password</Key>
						<Value ProtectInMemory="True">  pass  word </Value>
					</String>
					<String>
						<Key>Title</Key>
						<Value>Online</Value>
					</String>
					<String>
						<Key>URL</Key>
						<Value>https://bank.example/login?a=1&amp;b=2</Value>
					</String>
					<String>
						<Key>UserName</Key>
						<Value> alice </Value>
					</String>
					<AutoType>
						<Enabled>True</Enabled>
						<DataTransferObfuscation>0</DataTransferObfuscation>
						<DefaultSequence/>
					</AutoType>
					<History/>
				</Entry>
				<Entry>
					<UUID>zxpq48QoQaaquzWTnijuPg==</UUID>
					<IconID>0</IconID>
					<ForegroundColor/>
					<BackgroundColor/>
					<OverrideURL/>
					<Tags/>
					<Times>
						<LastModificationTime>S5yt4g4AAAA=</LastModificationTime>
						<CreationTime>RJyt4g4AAAA=</CreationTime>
						<LastAccessTime>S5yt4g4AAAA=</LastAccessTime>
						<ExpiryTime>RJyt4g4AAAA=</ExpiryTime>
						<Expires>False</Expires>
						<UsageCount>0</UsageCount>
						<LocationChanged>RJyt4g4AAAA=</LocationChanged>
					</Times>
					<String>
						<Key>Notes</Key>
						<Value/>
					</String>
					<String>
						<Key>Password</Key>
						<Value ProtectInMemory="True">x</Value>
					</String>
					<String>
						<Key>Title</Key>
						<Value>Online</Value>
					</String>
					<String>
						<Key>URL</Key>
						<Value/>
					</String>
					<String>
						<Key>UserName</Key>
						<Value>dup</Value>
					</String>
					<AutoType>
						<Enabled>True</Enabled>
						<DataTransferObfuscation>0</DataTransferObfuscation>
						<DefaultSequence/>
					</AutoType>
					<History>
						<Entry>
							<UUID>zxpq48QoQaaquzWTnijuPg==</UUID>
							<IconID>0</IconID>
							<ForegroundColor/>
							<BackgroundColor/>
							<OverrideURL/>
							<Tags/>
							<Times>
								<LastModificationTime>RJyt4g4AAAA=</LastModificationTime>
								<CreationTime>RJyt4g4AAAA=</CreationTime>
								<LastAccessTime>RJyt4g4AAAA=</LastAccessTime>
								<ExpiryTime>RJyt4g4AAAA=</ExpiryTime>
								<Expires>False</Expires>
								<UsageCount>0</UsageCount>
								<LocationChanged>RJyt4g4AAAA=</LocationChanged>
							</Times>
							<String>
								<Key>Notes</Key>
								<Value/>
							</String>
							<String>
								<Key>Password</Key>
								<Value ProtectInMemory="True">x</Value>
							</String>
							<String>
								<Key>Title</Key>
								<Value>Online2</Value>
							</String>
							<String>
								<Key>URL</Key>
								<Value/>
							</String>
							<String>
								<Key>UserName</Key>
								<Value>dup</Value>
							</String>
							<AutoType>
								<Enabled>True</Enabled>
								<DataTransferObfuscation>0</DataTransferObfuscation>
								<DefaultSequence/>
							</AutoType>
						</Entry>
					</History>
				</Entry>
				<Group>
					<UUID>G9e/FN/5Tb6mZ4LmGMwJmw==</UUID>
					<Name>Cards</Name>
					<Notes/>
					<IconID>48</IconID>
					<Times>
						<LastModificationTime>Q5yt4g4AAAA=</LastModificationTime>
						<CreationTime>Qpyt4g4AAAA=</CreationTime>
						<LastAccessTime>Q5yt4g4AAAA=</LastAccessTime>
						<ExpiryTime>Qpyt4g4AAAA=</ExpiryTime>
						<Expires>False</Expires>
						<UsageCount>0</UsageCount>
						<LocationChanged>Qpyt4g4AAAA=</LocationChanged>
					</Times>
					<IsExpanded>True</IsExpanded>
					<DefaultAutoTypeSequence/>
					<EnableAutoType>null</EnableAutoType>
					<EnableSearching>null</EnableSearching>
					<LastTopVisibleEntry>AAAAAAAAAAAAAAAAAAAAAA==</LastTopVisibleEntry>
					<Entry>
						<UUID>MUlmIwq6QJawDomH8bbN/w==</UUID>
						<IconID>0</IconID>
						<ForegroundColor/>
						<BackgroundColor/>
						<OverrideURL/>
						<Tags/>
						<Times>
							<LastModificationTime>RJyt4g4AAAA=</LastModificationTime>
							<CreationTime>Q5yt4g4AAAA=</CreationTime>
							<LastAccessTime>RJyt4g4AAAA=</LastAccessTime>
							<ExpiryTime>Q5yt4g4AAAA=</ExpiryTime>
							<Expires>False</Expires>
							<UsageCount>0</UsageCount>
							<LocationChanged>Q5yt4g4AAAA=</LocationChanged>
						</Times>
						<String>
							<Key>Notes</Key>
							<Value/>
						</String>
						<String>
							<Key>Password</Key>
							<Value ProtectInMemory="True">1234</Value>
						</String>
						<String>
							<Key>Title</Key>
							<Value>Visa</Value>
						</String>
						<String>
							<Key>URL</Key>
							<Value/>
						</String>
)xml"
    R"xml(						<String>
							<Key>UserName</Key>
							<Value>card</Value>
						</String>
						<Binary>
							<Key>scan.txt</Key>
							<Value Ref="0"/>
						</Binary>
						<AutoType>
							<Enabled>True</Enabled>
							<DataTransferObfuscation>0</DataTransferObfuscation>
							<DefaultSequence/>
						</AutoType>
						<History>
							<Entry>
								<UUID>MUlmIwq6QJawDomH8bbN/w==</UUID>
								<IconID>0</IconID>
								<ForegroundColor/>
								<BackgroundColor/>
								<OverrideURL/>
								<Tags/>
								<Times>
									<LastModificationTime>Q5yt4g4AAAA=</LastModificationTime>
									<CreationTime>Q5yt4g4AAAA=</CreationTime>
									<LastAccessTime>Q5yt4g4AAAA=</LastAccessTime>
									<ExpiryTime>Q5yt4g4AAAA=</ExpiryTime>
									<Expires>False</Expires>
									<UsageCount>0</UsageCount>
									<LocationChanged>Q5yt4g4AAAA=</LocationChanged>
								</Times>
								<String>
									<Key>Notes</Key>
									<Value/>
								</String>
								<String>
									<Key>Password</Key>
									<Value ProtectInMemory="True">1234</Value>
								</String>
								<String>
									<Key>Title</Key>
									<Value>Visa</Value>
								</String>
								<String>
									<Key>URL</Key>
									<Value/>
								</String>
								<String>
									<Key>UserName</Key>
									<Value>card</Value>
								</String>
								<AutoType>
									<Enabled>True</Enabled>
									<DataTransferObfuscation>0</DataTransferObfuscation>
									<DefaultSequence/>
								</AutoType>
							</Entry>
						</History>
					</Entry>
				</Group>
			</Group>
			<Group>
				<UUID>AIimdvyORTu8y7K2YtMypQ==</UUID>
				<Name>Empty</Name>
				<Notes/>
				<IconID>48</IconID>
				<Times>
					<LastModificationTime>Q5yt4g4AAAA=</LastModificationTime>
					<CreationTime>Q5yt4g4AAAA=</CreationTime>
					<LastAccessTime>Q5yt4g4AAAA=</LastAccessTime>
					<ExpiryTime>Q5yt4g4AAAA=</ExpiryTime>
					<Expires>False</Expires>
					<UsageCount>0</UsageCount>
					<LocationChanged>Q5yt4g4AAAA=</LocationChanged>
				</Times>
				<IsExpanded>True</IsExpanded>
				<DefaultAutoTypeSequence/>
				<EnableAutoType>null</EnableAutoType>
				<EnableSearching>null</EnableSearching>
				<LastTopVisibleEntry>AAAAAAAAAAAAAAAAAAAAAA==</LastTopVisibleEntry>
			</Group>
			<Group>
				<UUID>KQS3Ye2zQleRFqw2rWcSNw==</UUID>
				<Name>Recycle Bin</Name>
				<Notes/>
				<IconID>43</IconID>
				<Times>
					<LastModificationTime>RJyt4g4AAAA=</LastModificationTime>
					<CreationTime>RJyt4g4AAAA=</CreationTime>
					<LastAccessTime>RJyt4g4AAAA=</LastAccessTime>
					<ExpiryTime>RJyt4g4AAAA=</ExpiryTime>
					<Expires>False</Expires>
					<UsageCount>0</UsageCount>
					<LocationChanged>RJyt4g4AAAA=</LocationChanged>
				</Times>
				<IsExpanded>True</IsExpanded>
				<DefaultAutoTypeSequence/>
				<EnableAutoType>false</EnableAutoType>
				<EnableSearching>false</EnableSearching>
				<LastTopVisibleEntry>AAAAAAAAAAAAAAAAAAAAAA==</LastTopVisibleEntry>
				<Entry>
					<UUID>kdPcK3hvQWyuSsHeXH+0vQ==</UUID>
					<IconID>0</IconID>
					<ForegroundColor/>
					<BackgroundColor/>
					<OverrideURL/>
					<Tags/>
					<Times>
						<LastModificationTime>RJyt4g4AAAA=</LastModificationTime>
						<CreationTime>RJyt4g4AAAA=</CreationTime>
						<LastAccessTime>RJyt4g4AAAA=</LastAccessTime>
						<ExpiryTime>RJyt4g4AAAA=</ExpiryTime>
						<Expires>False</Expires>
						<UsageCount>0</UsageCount>
						<LocationChanged>RJyt4g4AAAA=</LocationChanged>
					</Times>
					<PreviousParentGroup>heNLrE95QQqV8gTEG18IjQ==</PreviousParentGroup>
					<String>
						<Key>Notes</Key>
						<Value/>
					</String>
					<String>
						<Key>Password</Key>
						<Value ProtectInMemory="True"/>
					</String>
					<String>
						<Key>Title</Key>
						<Value>Old</Value>
					</String>
					<String>
						<Key>URL</Key>
						<Value/>
					</String>
					<String>
						<Key>UserName</Key>
						<Value>gone</Value>
					</String>
					<AutoType>
						<Enabled>True</Enabled>
						<DataTransferObfuscation>0</DataTransferObfuscation>
						<DefaultSequence/>
					</AutoType>
					<History/>
				</Entry>
			</Group>
		</Group>
		<DeletedObjects/>
	</Root>
</KeePassFile>
)xml";

// ---- Small exports in KeePass 2.x's layout

const std::string kKeePassMeta =
    "\t\t<Generator>KeePass</Generator>\r\n"
    "\t\t<RecycleBinEnabled>True</RecycleBinEnabled>\r\n"
    "\t\t<RecycleBinUUID>AAAAAAAAAAAAAAAAAAAAAA==</RecycleBinUUID>\r\n";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\r\n";

// An export whose root group holds `content`.
std::string keePassExport(const std::string& content, const std::string& meta = kKeePassMeta,
                          const std::string& declaration = kDeclaration) {
    return declaration + "<KeePassFile>\r\n\t<Meta>\r\n" + meta +
           "\t</Meta>\r\n\t<Root>\r\n\t\t<Group>\r\n"
           "\t\t\t<UUID>n6ngkr6kNEmKeRtgMmR2Ng==</UUID>\r\n\t\t\t<Name>Database</Name>\r\n" +
           content + "\t\t</Group>\r\n\t\t<DeletedObjects />\r\n\t</Root>\r\n</KeePassFile>\r\n";
}

std::string stringXml(const std::string& key, const std::string& value, const std::string& attributes = "") {
    return "\t\t\t\t<String>\r\n\t\t\t\t\t<Key>" + key + "</Key>\r\n\t\t\t\t\t<Value" + attributes + ">" + value +
           "</Value>\r\n\t\t\t\t</String>\r\n";
}

std::string entryXml(const std::string& content) {
    return "\t\t\t<Entry>\r\n\t\t\t\t<UUID>0nNJ1mhpR0SBAvD2AJTXHw==</UUID>\r\n\t\t\t\t<IconID>0</IconID>\r\n" +
           content + "\t\t\t</Entry>\r\n";
}

std::string titled(const std::string& title, const std::string& more = "") {
    return entryXml(stringXml("Title", title) + more);
}

std::string groupXml(const std::string& name, const std::string& uuid, const std::string& content) {
    return "\t\t\t<Group>\r\n\t\t\t\t<UUID>" + uuid + "</UUID>\r\n\t\t\t\t<Name>" + name + "</Name>\r\n" + content +
           "\t\t\t</Group>\r\n";
}

std::string timesXml(const std::string& expires, const std::string& expiryTime) {
    return "\t\t\t\t<Times>\r\n\t\t\t\t\t<CreationTime>2024-01-05T10:00:00Z</CreationTime>\r\n"
           "\t\t\t\t\t<ExpiryTime>" +
           expiryTime + "</ExpiryTime>\r\n\t\t\t\t\t<Expires>" + expires + "</Expires>\r\n\t\t\t\t</Times>\r\n";
}

std::string autoTypeXml(const std::string& enabled, const std::string& sequence, const std::string& associations = "") {
    return "\t\t\t\t<AutoType>\r\n\t\t\t\t\t<Enabled>" + enabled +
           "</Enabled>\r\n\t\t\t\t\t<DataTransferObfuscation>0</DataTransferObfuscation>\r\n"
           "\t\t\t\t\t<DefaultSequence>" +
           sequence + "</DefaultSequence>\r\n" + associations + "\t\t\t\t</AutoType>\r\n";
}

std::string associationXml(const std::string& window, const std::string& sequence) {
    return "\t\t\t\t\t<Association>\r\n\t\t\t\t\t\t<Window>" + window + "</Window>\r\n\t\t\t\t\t\t<KeystrokeSequence>" +
           sequence + "</KeystrokeSequence>\r\n\t\t\t\t\t</Association>\r\n";
}

std::string binaryXml(const std::string& name, int ref) {
    return "\t\t\t\t<Binary>\r\n\t\t\t\t\t<Key>" + name + "</Key>\r\n\t\t\t\t\t<Value Ref=\"" + std::to_string(ref) +
           "\" />\r\n\t\t\t\t</Binary>\r\n";
}

std::vector<std::string> titles(const tImportedData& data) {
    std::vector<std::string> out;
    for (const tImportedEntry& e : data.entries) out.push_back(e.title);
    return out;
}

const tImportedEntry* byTitle(const tImportedData& data, const std::string& title) {
    for (const tImportedEntry& e : data.entries)
        if (e.title == title) return &e;
    return nullptr;
}

// Whether `text` is anywhere in what was read.
bool heldAnywhere(const tImportedData& data, const std::string& text) {
    for (const tImportedEntry& e : data.entries) {
        for (const std::string* s : {&e.title, &e.userName, &e.password, &e.url, &e.notes, &e.refused})
            if (s->find(text) != std::string::npos) return true;
        for (const std::string& g : e.groups)
            if (g.find(text) != std::string::npos) return true;
    }
    for (const auto& f : data.folders)
        for (const std::string& name : f)
            if (name.find(text) != std::string::npos) return true;
    return false;
}

// ---- The export as keepassxc-cli writes it

TEST(ImportKeePassXmlTest, ReadsTheExportKeePassXcWrites) {
    tImportedData out;
    std::string error;
    ASSERT_EQ(ReadKeePassXmlExport(kKeePassXcExport, out, error), eImportRead::eRead) << error;
    EXPECT_EQ(out.format, "KeePassXC XML");
    // The root group ("Passwords") is no folder; the recycle bin is left out.
    EXPECT_EQ(out.folders, (Folders{{"Bank"}, {"Bank", "Cards"}, {"Empty"}}));
    // The recycled entry and the earlier versions are not read; both entries
    // titled "Online" are.
    ASSERT_EQ(titles(out), (std::vector<std::string>{"Mail", "Shop", "Online", "Online", "Visa"}));
    const Folders groups = {{}, {}, {"Bank"}, {"Bank"}, {"Bank", "Cards"}};
    for (std::size_t i = 0; i < out.entries.size(); ++i) {
        EXPECT_EQ(out.entries[i].groups, groups[i]) << out.entries[i].title;
        EXPECT_EQ(out.entries[i].refused, "") << out.entries[i].title;
    }
    EXPECT_EQ(out.attachments, 1);

    const tImportedEntry& mail = out.entries[0];
    EXPECT_EQ(mail.userName, "mail");
    EXPECT_EQ(mail.password, "new");  // the version before it had "old"
    EXPECT_EQ(mail.notes, "");
    EXPECT_FALSE(mail.expires());
    EXPECT_FALSE(heldAnywhere(out, "old"));
    EXPECT_FALSE(heldAnywhere(out, "Online2"));
    EXPECT_FALSE(heldAnywhere(out, "gone"));

    const tImportedEntry& shop = out.entries[1];
    EXPECT_EQ(shop.password, "");
    EXPECT_EQ(shop.expiryYear, 2031);
    EXPECT_EQ(shop.expiryMonth, 2);
    EXPECT_EQ(shop.expiryDay, 28);
    // No sequence of its own: the first window's stands for the entry.
    EXPECT_EQ(shop.notes,
              "PIN: 4711\r\nRecovery: a\r\nb\r\n"
              "Auto-Type:{USERNAME}{ENTER}\r\nAuto-Type-Window:Shop - *\r\nAuto-Type-Window:*Login*\r\n");

    const tImportedEntry& online = out.entries[2];
    EXPECT_EQ(online.userName, " alice ");
    EXPECT_EQ(online.password, "  pass  word ");
    EXPECT_EQ(online.url, "https://bank.example/login?a=1&b=2");
    EXPECT_EQ(online.notes, "line one\r\nline <two>");
    EXPECT_EQ(out.entries[3].userName, "dup");
    EXPECT_EQ(out.entries[3].password, "x");
    EXPECT_EQ(out.entries[4].password, "1234");
}

// ---- Groups

TEST(ImportKeePassXmlTest, GroupsBelowTheRootBecomeFoldersAndTheRecycleBinIsLeftOut) {
    const std::string zero = "AAAAAAAAAAAAAAAAAAAAAA==";
    const std::string trash = "x1V1Zt4XT0mCYhH2UOsGzA==";
    const std::string content =
        titled("At root") +
        groupXml("Work", "TxJgXxZ1QUO6Vd0JZ0Ycnw==",
                 titled("Mail") +
                     groupXml("Projects", "pVY7AmC4R8OnDVZ0z0Kclg==",
                              groupXml("Alpha", "w8H3CwcFSE2Tmc8h1QtD0A==", titled("Alpha login"))) +
                     titled("VPN")) +
        groupXml("Empty", "6hXbQ7V6Sk2pHcZ7l8pLNw==", "") +
        groupXml("Trash", trash,
                 titled("Deleted") + groupXml("Old stuff", "m5XLBd7lTEmaG3YHfB0d9g==", titled("Deleted too"))) +
        groupXml("Zero", zero, titled("In zero"));
    auto meta = [](const std::string& bin) {
        return "\t\t<Generator>KeePass</Generator>\r\n\t\t<RecycleBinEnabled>True</RecycleBinEnabled>\r\n" +
               (bin.empty() ? std::string() : "\t\t<RecycleBinUUID>" + bin + "</RecycleBinUUID>\r\n");
    };
    const Folders kept = {{"Work"}, {"Work", "Projects"}, {"Work", "Projects", "Alpha"}, {"Empty"}};
    struct Case {
        const char* what;
        std::string bin;
        Folders folders;
        std::vector<std::string> titles;
    };
    const Case cases[] = {
        {"the bin named in Meta",
         trash,
         {kept[0], kept[1], kept[2], kept[3], {"Zero"}},
         {"At root", "Mail", "Alpha login", "VPN", "In zero"}},
        {"no bin (a zero UUID)",
         zero,
         {kept[0], kept[1], kept[2], kept[3], {"Trash"}, {"Trash", "Old stuff"}, {"Zero"}},
         {"At root", "Mail", "Alpha login", "VPN", "Deleted", "Deleted too", "In zero"}},
        {"no bin named",
         "",
         {kept[0], kept[1], kept[2], kept[3], {"Trash"}, {"Trash", "Old stuff"}, {"Zero"}},
         {"At root", "Mail", "Alpha login", "VPN", "Deleted", "Deleted too", "In zero"}},
    };
    for (const Case& c : cases) {
        tImportedData out;
        std::string error;
        ASSERT_EQ(ReadKeePassXmlExport(keePassExport(content, meta(c.bin)), out, error), eImportRead::eRead) << c.what;
        EXPECT_EQ(out.format, "KeePass XML");
        EXPECT_EQ(out.folders, c.folders) << c.what;
        EXPECT_EQ(titles(out), c.titles) << c.what;
        const tImportedEntry* alpha = byTitle(out, "Alpha login");
        ASSERT_NE(alpha, nullptr);
        EXPECT_EQ(alpha->groups, (std::vector<std::string>{"Work", "Projects", "Alpha"}));
        EXPECT_EQ(byTitle(out, "VPN")->groups, std::vector<std::string>{"Work"});
        EXPECT_EQ(byTitle(out, "At root")->groups, std::vector<std::string>{});
    }
}

// ---- Values

TEST(ImportKeePassXmlTest, ValuesAreKeptAsWritten) {
    const std::string content =
        entryXml(stringXml("Title", "  Two  blanks  ") +
                 stringXml("UserName",
                           "a &amp; b &lt;c&gt; &quot;d&quot; &apos;e&apos; &#x41;&#66;&#233;&#x20AC;&#x1F511;") +
                 stringXml("Password", "   ", " ProtectInMemory=\"True\"") +
                 stringXml("URL", "<![CDATA[https://x.example/?a=1&b=<2>]]>") +
                 stringXml("Notes",
                           "tab\there  \r\nGr\xC3\xBC\xC3\x9F"
                           "e")) +
        entryXml(stringXml("Title", "Line breaks") + stringXml("UserName", "\t \t") +
                 stringXml("Password", "x&#13;&#10;y&#13;z") + stringXml("URL", "") +
                 "\t\t\t\t<String>\r\n\t\t\t\t\t<Key>Notes</Key>\r\n\t\t\t\t\t<Value />\r\n\t\t\t\t</String>\r\n") +
        entryXml(stringXml("Title", "raw\r\nbreak\rhere"));
    // Whatever another reader left the parser's global setting at.
    const bool condensed = TiXmlBase::IsWhiteSpaceCondensed();
    TiXmlBase::SetCondenseWhiteSpace(true);
    tImportedData out;
    std::string error;
    const eImportRead result = ReadKeePassXmlExport(keePassExport(content), out, error);
    TiXmlBase::SetCondenseWhiteSpace(condensed);
    ASSERT_EQ(result, eImportRead::eRead) << error;
    ASSERT_EQ(out.entries.size(), 3u);

    const tImportedEntry& e = out.entries[0];
    EXPECT_EQ(e.title, "  Two  blanks  ");
    EXPECT_EQ(e.userName, "a & b <c> \"d\" 'e' AB\xC3\xA9\xE2\x82\xAC\xF0\x9F\x94\x91");
    EXPECT_EQ(e.password, "   ");
    EXPECT_EQ(e.url, "https://x.example/?a=1&b=<2>");
    EXPECT_EQ(e.notes,
              "tab\there  \r\nGr\xC3\xBC\xC3\x9F"
              "e");

    const tImportedEntry& f = out.entries[1];
    EXPECT_EQ(f.userName, "\t \t");
    // Line breaks written as references are the value's own.
    EXPECT_EQ(f.password, "x\r\ny\rz");
    EXPECT_EQ(f.url, "");
    EXPECT_EQ(f.notes, "");
    // Line breaks written as they are read as an XML reader reads them.
    EXPECT_EQ(out.entries[2].title, "raw\nbreak\nhere");
}

TEST(ImportKeePassXmlTest, OtherStringsGoIntoTheNotesAfterTheEntrysOwn) {
    struct Case {
        const char* what;
        std::string strings;  // String and AutoType elements of the entry
        std::string notes;
    };
    const std::string pin = stringXml("PIN", "1234");
    const Case cases[] = {
        {"no notes, nothing else", "", ""},
        {"notes alone stay as they are", stringXml("Notes", "line"), "line"},
        {"every line end made CR LF", stringXml("Notes", "a\nb&#13;c&#13;&#10;d\n"), "a\r\nb\r\nc\r\nd\r\n"},
        {"no notes, a string", pin, "PIN: 1234\r\n"},
        {"notes before the strings, whatever the order in the file",
         pin + stringXml("Notes", "n") + stringXml("Recovery", "x\ny") + stringXml("Empty", ""),
         "n\r\nPIN: 1234\r\nRecovery: x\r\ny\r\n"},
        {"notes ending in a line end", stringXml("Notes", "n\n") + pin, "n\r\nPIN: 1234\r\n"},
        {"strings in the file's order", stringXml("Zeta", "z") + stringXml("Alpha", "a"), "Zeta: z\r\nAlpha: a\r\n"},
        {"a value holding a keyword", stringXml("Notes", "n") + stringXml("Info", "Auto-Type:{PASSWORD}"),
         "n\r\nInfo: Auto-type:{PASSWORD}\r\n"},
        {"a key holding a keyword", stringXml("Auto-Type-Window", "*"), "Auto-type-Window: *\r\n"},
        {"auto-type after the strings", stringXml("Notes", "n") + pin + autoTypeXml("True", "{PASSWORD}{ENTER}"),
         "n\r\nPIN: 1234\r\nAuto-Type:{PASSWORD}{ENTER}\r\n"},
        {"notes and auto-type", stringXml("Notes", "n") + autoTypeXml("True", "{PASSWORD}{ENTER}"),
         "n\r\nAuto-Type:{PASSWORD}{ENTER}\r\n"},
        {"a second Password string", stringXml("Password", "first") + stringXml("Password", "second"),
         "Password: second\r\n"},
    };
    for (const Case& c : cases) {
        tImportedData out;
        std::string error;
        ASSERT_EQ(ReadKeePassXmlExport(keePassExport(titled("T", c.strings)), out, error), eImportRead::eRead)
            << c.what;
        ASSERT_EQ(out.entries.size(), 1u) << c.what;
        EXPECT_EQ(out.entries[0].notes, c.notes) << c.what;
        EXPECT_EQ(out.entries[0].title, "T") << c.what;
        // Only the auto-type lines define anything for the hot key.
        const bool defines = c.strings.find("<AutoType>") != std::string::npos;
        std::list<std::string> windows;
        EXPECT_EQ(keywordValue(out.entries[0].notes, "Auto-Type:").empty(), !defines) << c.what;
        EXPECT_EQ(keywordValues(out.entries[0].notes, "Auto-Type-Window:", windows), 0u) << c.what;
    }
}

TEST(ImportKeePassXmlTest, ValuesEncryptedInsideTheExportAreRefusedAndKeptNowhere) {
    const std::string content =
        titled("Bank", stringXml("UserName", "me") + stringXml("Password", "q8Ojb5VKTAU=", " Protected=\"True\"")) +
        titled("Mail", stringXml("Password", "plain", " ProtectInMemory=\"True\"")) +
        titled("Card", stringXml("Password", "1234") + stringXml("PIN", "Zm9vYmFyYmF6", " Protected=\"true\"")) +
        titled("Nothing encrypted", stringXml("Password", "", " Protected=\"True\""));
    tImportedData out;
    std::string error;
    ASSERT_EQ(ReadKeePassXmlExport(keePassExport(content), out, error), eImportRead::eRead) << error;
    ASSERT_EQ(titles(out), (std::vector<std::string>{"Bank", "Mail", "Card", "Nothing encrypted"}));
    EXPECT_EQ(out.entries[0].refused, "a value is encrypted inside the export");
    EXPECT_EQ(out.entries[0].userName, "me");
    EXPECT_EQ(out.entries[0].password, "");
    EXPECT_EQ(out.entries[1].refused, "");
    EXPECT_EQ(out.entries[1].password, "plain");
    EXPECT_EQ(out.entries[2].refused, "a value is encrypted inside the export");
    EXPECT_EQ(out.entries[2].notes, "");
    // An empty value holds nothing encrypted.
    EXPECT_EQ(out.entries[3].refused, "");
    EXPECT_FALSE(heldAnywhere(out, "q8Ojb5VKTAU="));
    EXPECT_FALSE(heldAnywhere(out, "Zm9vYmFyYmF6"));
}

TEST(ImportKeePassXmlTest, AttachmentsAreCountedAndEarlierVersionsSkipped) {
    const std::string history =
        "\t\t\t\t<History>\r\n" +
        entryXml(stringXml("Title", "A before") + stringXml("Password", "old-secret") + binaryXml("old.txt", 2)) +
        "\t\t\t\t</History>\r\n";
    const std::string content = titled("A", stringXml("Password", "new-secret") + binaryXml("scan.pdf", 0) +
                                                binaryXml("key.txt", 1) + history) +
                                titled("B", binaryXml("photo.jpg", 0) + "\t\t\t\t<History />\r\n");
    tImportedData out;
    std::string error;
    ASSERT_EQ(ReadKeePassXmlExport(keePassExport(content), out, error), eImportRead::eRead) << error;
    EXPECT_EQ(titles(out), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(out.entries[0].password, "new-secret");
    EXPECT_EQ(out.attachments, 3);
    EXPECT_FALSE(heldAnywhere(out, "old-secret"));
    EXPECT_FALSE(heldAnywhere(out, "before"));
    EXPECT_FALSE(heldAnywhere(out, "scan.pdf"));
}

// ---- Expiry dates: ISO text (KeePass 2.x, KDBX 3) and base64 seconds (KDBX 4)

TEST(ImportKeePassXmlTest, ExpiryDatesInBothForms) {
    struct Case {
        const char* expires;
        const char* time;
        int year, month, day;
        const char* notes;
    };
    const Case cases[] = {
        {"True", "2031-02-28T23:30:00Z", 2031, 2, 28, ""},
        {"True", "eMSc6g4AAAA=", 2031, 2, 28, ""},  // 2031-02-28T23:30:00Z
        {"TRUE", "2024-02-29T00:00:00Z", 2024, 2, 29, ""},
        {"true", "wKtNsA4AAAA=", 2000, 2, 29, ""},  // 2000-02-29T12:00:00Z
        {"True", "AAAAAAAAAAA=", 1, 1, 1, ""},
        {"True", "fziGd0kAAAA=", 9999, 12, 31, ""},  // 9999-12-31T23:59:59Z
        // The date as written, not moved to another time zone.
        {"True", "2031-03-01T00:30:00+02:00", 2031, 3, 1, ""},
        {"True", "2031-02-28T23:30:00.1234567Z", 2031, 2, 28, ""},
        {"False", "2031-02-28T23:30:00Z", 0, 0, 0, ""},
        {"False", "next friday", 0, 0, 0, ""},
        {"True", "next friday", 0, 0, 0, "Expiry date in the export: next friday\r\n"},
        {"True", "2023-02-29T00:00:00Z", 0, 0, 0, "Expiry date in the export: 2023-02-29T00:00:00Z\r\n"},
        {"True", "2031-13-01T00:00:00Z", 0, 0, 0, "Expiry date in the export: 2031-13-01T00:00:00Z\r\n"},
        {"True", "2031-02-28 23:30", 0, 0, 0, "Expiry date in the export: 2031-02-28 23:30\r\n"},
        {"True", "BQAAAA==", 0, 0, 0, "Expiry date in the export: BQAAAA==\r\n"},          // 4 bytes
        {"True", "/////////38=", 0, 0, 0, "Expiry date in the export: /////////38=\r\n"},  // past year 9999
        {"True", "//////////8=", 0, 0, 0, "Expiry date in the export: //////////8=\r\n"},  // negative
    };
    for (const Case& c : cases) {
        tImportedData out;
        std::string error;
        const std::string entry = titled("T", timesXml(c.expires, c.time));
        ASSERT_EQ(ReadKeePassXmlExport(keePassExport(entry), out, error), eImportRead::eRead) << c.time;
        ASSERT_EQ(out.entries.size(), 1u);
        const tImportedEntry& e = out.entries[0];
        EXPECT_EQ(e.expiryYear, c.year) << c.expires << " " << c.time;
        EXPECT_EQ(e.expiryMonth, c.month) << c.expires << " " << c.time;
        EXPECT_EQ(e.expiryDay, c.day) << c.expires << " " << c.time;
        EXPECT_EQ(e.notes, c.notes) << c.expires << " " << c.time;
    }
}

// ---- Auto-type: the entry's settings, completed by its groups'

TEST(ImportKeePassXmlTest, AutoTypeComesFromTheEntryAndItsGroups) {
    auto groupSettings = [](const std::string& sequence, const std::string& enable) {
        return "\t\t\t\t<DefaultAutoTypeSequence>" + sequence + "</DefaultAutoTypeSequence>\r\n" +
               "\t\t\t\t<EnableAutoType>" + enable + "</EnableAutoType>\r\n";
    };
    const std::string on = autoTypeXml("True", "");
    const std::string content =
        groupSettings("{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}", "null") + titled("Root", on) +
        titled("Own sequence", autoTypeXml("True", "{USERNAME}{ENTER}")) +
        titled("Entry off", autoTypeXml("False", "")) + titled("No settings") +
        titled("Window", autoTypeXml("True", "", associationXml("Login - *", ""))) +
        groupXml(
            "Off", "yJX1VkbbQF2fB5P0J7B5cA==",
            groupSettings("{PASSWORD}~", "false") + titled("In off", on) +
                groupXml("On again", "B0Bd5p2ZQ0mDn8u4dFm2Ag==", groupSettings("", "True") + titled("On again", on)) +
                groupXml("Inherits", "0zQZp0VvQ2uTj2gGv3R6hQ==", groupSettings("", "null") + titled("Inherits", on)));
    tImportedData out;
    std::string error;
    ASSERT_EQ(ReadKeePassXmlExport(keePassExport(content), out, error), eImportRead::eRead) << error;
    const std::string off = "Auto-type was off for this entry in the export.\r\n";
    struct Expected {
        const char* title;
        std::string notes;
    };
    const Expected expected[] = {
        {"Root", "Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}\r\n"},
        {"Own sequence", "Auto-Type:{USERNAME}{ENTER}\r\n"},
        {"Entry off", off + "Auto-type sequence not used by the hot key: {USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}\r\n"},
        {"No settings", "Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}\r\n"},
        {"Window", "Auto-Type:{USERNAME}{TAB}{TAB}{PASSWORD}{ENTER}\r\nAuto-Type-Window:Login - *\r\n"},
        {"In off", off + "Auto-type sequence not used by the hot key: {PASSWORD}~\r\n"},
        {"On again", "Auto-Type:{PASSWORD}~\r\n"},
        {"Inherits", off + "Auto-type sequence not used by the hot key: {PASSWORD}~\r\n"},
    };
    ASSERT_EQ(out.entries.size(), sizeof expected / sizeof expected[0]);
    for (const Expected& x : expected) {
        const tImportedEntry* e = byTitle(out, x.title);
        ASSERT_NE(e, nullptr) << x.title;
        EXPECT_EQ(e->notes, x.notes) << x.title;
    }
}

// ---- Encodings

std::vector<std::uint32_t> codePoints(const std::string& utf8) {
    std::vector<std::uint32_t> out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

std::string utf16(const std::string& utf8, bool littleEndian) {
    std::string out;
    auto unit = [&](std::uint32_t u) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += littleEndian ? lo : hi;
        out += littleEndian ? hi : lo;
    };
    for (std::uint32_t cp : codePoints(utf8)) {
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

// Latin-1, or Windows-1252 where only the euro sign differs in this test.
std::string singleByte(const std::string& utf8) {
    std::string out;
    for (std::uint32_t cp : codePoints(utf8)) out += static_cast<char>(cp == 0x20AC ? 0x80 : cp);
    return out;
}

std::string declaration(const std::string& encoding) {
    return "<?xml version=\"1.0\" encoding=\"" + encoding + "\" standalone=\"yes\"?>\r\n";
}

TEST(ImportKeePassXmlTest, EncodingsFromTheByteOrderMarkOrTheDeclaration) {
    const std::string wide = "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x91";  // é, euro sign, a key (two UTF-16 units)
    const std::string latin1 = "Caf\xC3\xA9 \xC2\xBD";                     // é, one half
    const std::string euro = "Caf\xC3\xA9 \xE2\x82\xAC";
    auto body = [](const std::string& title, const std::string& decl) {
        return keePassExport(titled(title, stringXml("Password", " p  w ")), kKeePassMeta, decl);
    };
    struct Case {
        const char* what;
        std::string bytes;
        std::string title;
    };
    const Case cases[] = {
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + body(wide, declaration("utf-8")), wide},
        {"UTF-8 without a declaration", body(wide, ""), wide},
        {"UTF-8 declared without its encoding", body(wide, "<?xml version=\"1.0\"?>\r\n"), wide},
        {"US-ASCII declared", body("Plain", declaration("US-ASCII")), "Plain"},
        {"UTF-16LE with a byte-order mark", "\xFF\xFE" + utf16(body(wide, declaration("utf-16")), true), wide},
        {"UTF-16BE with a byte-order mark", "\xFE\xFF" + utf16(body(wide, declaration("UTF-16")), false), wide},
        {"UTF-16LE without a byte-order mark", utf16(body(wide, declaration("UTF-16")), true), wide},
        {"UTF-16LE, no declaration", "\xFF\xFE" + utf16(body(wide, ""), true), wide},
        {"ISO-8859-1 declared", singleByte(body(latin1, declaration("ISO-8859-1"))), latin1},
        {"windows-1252 declared", singleByte(body(euro, declaration("windows-1252"))), euro},
        {"the mark decides over the declaration", "\xEF\xBB\xBF" + body(wide, declaration("ISO-8859-1")), wide},
    };
    for (const Case& c : cases) {
        tImportedData out;
        std::string error;
        ASSERT_EQ(ReadKeePassXmlExport(c.bytes, out, error), eImportRead::eRead) << c.what << ": " << error;
        ASSERT_EQ(out.entries.size(), 1u) << c.what;
        EXPECT_EQ(out.entries[0].title, c.title) << c.what;
        EXPECT_EQ(out.entries[0].password, " p  w ") << c.what;
    }
}

TEST(ImportKeePassXmlTest, EncodingsThatCannotBeReadAreMalformed) {
    const std::string title = "Caf\xC3\xA9";
    auto body = [&](const std::string& decl) {
        return keePassExport(titled(title, stringXml("Password", "s3cret-value")), kKeePassMeta, decl);
    };
    const std::string utf16le = "\xFF\xFE" + utf16(body(declaration("utf-16")), true);
    struct Case {
        const char* what;
        std::string bytes;
        std::string error;  // empty: any sentence
    };
    const Case cases[] = {
        {"an encoding not known here", body(declaration("EBCDIC-XY")),
         "The export's encoding \"EBCDIC-XY\" is not supported."},
        {"Latin-1 bytes declared as UTF-8", singleByte(body(declaration("UTF-8"))), ""},
        {"Latin-1 bytes without a declaration", singleByte(body("")), ""},
        {"UTF-16 declared, single bytes written", body(declaration("UTF-16")), ""},
        {"UTF-16 cut in a character", utf16le.substr(0, utf16le.size() - 1), ""},
        {"UTF-16 with half a surrogate pair", utf16le + std::string("\x3D\xD8", 2), ""},
    };
    for (const Case& c : cases) {
        tImportedData out;
        std::string error;
        EXPECT_EQ(ReadKeePassXmlExport(c.bytes, out, error), eImportRead::eMalformed) << c.what;
        if (c.error.empty()) {
            EXPECT_FALSE(error.empty()) << c.what;
        } else {
            EXPECT_EQ(error, c.error) << c.what;
        }
        EXPECT_EQ(error.find("s3cret"), std::string::npos) << c.what;
        EXPECT_EQ(error.find("Caf"), std::string::npos) << c.what;
        EXPECT_TRUE(out.entries.empty()) << c.what;
        EXPECT_TRUE(out.folders.empty()) << c.what;
    }
}

// ---- Damaged exports, and files that are none

TEST(ImportKeePassXmlTest, DamagedExportsAreMalformedWithAReason) {
    const std::string good = keePassExport(titled("T", stringXml("Password", "hunter2-secret")));
    auto lineOf = [](const std::string& text, const std::string& what) {
        const std::size_t at = text.find(what);
        int line = 1;
        for (std::size_t i = 0; i < at; ++i)
            if (text[i] == '\n') ++line;
        return line;
    };
    std::string badEnd = good;
    badEnd.replace(badEnd.find("</Value>", badEnd.find("hunter2")), 8, "</Valeu>");
    std::string badAttribute = good;
    badAttribute.replace(badAttribute.find("<IconID>"), 8, "<IconID a=\"1>");
    std::string noRoot = good;
    noRoot.erase(noRoot.find("\t<Root>"), noRoot.find("</Root>") + 7 - noRoot.find("\t<Root>"));
    std::string deep = "<KeePassFile><Root>";
    for (int i = 0; i < 5000; ++i) deep += "<Group>";
    for (int i = 0; i < 5000; ++i) deep += "</Group>";
    deep += "</Root></KeePassFile>";
    struct Case {
        const char* what;
        std::string bytes;
        std::string error;  // empty: any sentence
    };
    const Case cases[] = {
        {"an end tag that does not match", badEnd,
         "The export is not well-formed XML: Error reading end tag. (line " +
             std::to_string(lineOf(badEnd, "</Valeu>")) + ")"},
        {"an attribute never closed", badAttribute,
         "The export is not well-formed XML: Error parsing Element. (line " +
             std::to_string(lineOf(badAttribute, "<IconID a=")) + ")"},
        {"cut off", good.substr(0, good.find("hunter2") + 3), ""},
        {"no Root", noRoot, "The export has no Root element."},
        {"groups nested too deeply", deep, ""},
    };
    for (const Case& c : cases) {
        tImportedData out;
        out.format = "unchanged";
        std::string error;
        EXPECT_EQ(ReadKeePassXmlExport(c.bytes, out, error), eImportRead::eMalformed) << c.what;
        if (c.error.empty()) {
            EXPECT_FALSE(error.empty()) << c.what;
        } else {
            EXPECT_EQ(error, c.error) << c.what;
        }
        EXPECT_EQ(error.find("hunter"), std::string::npos) << c.what;
        EXPECT_EQ(out.format, "unchanged") << c.what;
        EXPECT_TRUE(out.entries.empty()) << c.what;
        EXPECT_TRUE(out.folders.empty()) << c.what;
    }
}

TEST(ImportKeePassXmlTest, FilesThatAreNoKeePassExportAreLeftAlone) {
    const std::string cases[] = {
        "",
        std::string("\x00\x01\x02\x03 binary\xFF", 12),
        "\xFF\xD8\xFF\xE0\x00\x10JFIF",
        "PK\x03\x04",
        "\x03\xD9\xA2\x9A\x67\xFB\x4B\xB5",  // a KDBX file's signature
        "Title,Username,Password,URL,Notes\r\nMail,me,secret,,\r\n",
        "\xEF\xBB\xBF"
        "name,url,username,password\n",
        "<?xml version=\"1.0\"?>\r\n<pswd basename=\"B\" id=\"1\"></pswd>",
        "<?xml version=\"1.0\" encoding=\"EBCDIC-XY\"?><Other/>",
        "<!DOCTYPE html>\n<html><body>KeePassFile</body></html>",
        "<!-- <KeePassFile> --><Other/>",
        "<KeePassFileX><Root/></KeePassFileX>",
        "<keepassfile><Root/></keepassfile>",
        "KeePassFile",
        "\xFF\xFE" + utf16("<html></html>", true),
        "   \r\n\t",
    };
    for (const std::string& c : cases) {
        tImportedData out;
        out.format = "unchanged";
        out.attachments = 7;
        out.folders.push_back({"kept"});
        std::string error;
        EXPECT_EQ(ReadKeePassXmlExport(c, out, error), eImportRead::eNotAnExport) << c;
        EXPECT_EQ(out.format, "unchanged") << c;
        EXPECT_EQ(out.attachments, 7) << c;
        EXPECT_EQ(out.folders, Folders{{"kept"}}) << c;
        EXPECT_TRUE(out.entries.empty()) << c;
        EXPECT_EQ(error, "") << c;
    }
}

TEST(ImportKeePassXmlTest, APrologBeforeTheFirstElementIsSteppedOver) {
    const std::string content = titled("T");
    const std::string cases[] = {
        "<!-- exported by a script -->\r\n" + keePassExport(content, kKeePassMeta, ""),
        kDeclaration + "<!-- a comment -->\r\n<?keepass hint?>\r\n" + keePassExport(content, kKeePassMeta, ""),
        kDeclaration + "<!DOCTYPE KeePassFile>\r\n" + keePassExport(content, kKeePassMeta, ""),
        "\r\n  " + keePassExport(content, kKeePassMeta, ""),
    };
    for (const std::string& c : cases) {
        tImportedData out;
        std::string error;
        EXPECT_EQ(ReadKeePassXmlExport(c, out, error), eImportRead::eRead) << c.substr(0, 80) << ": " << error;
        EXPECT_EQ(titles(out), std::vector<std::string>{"T"});
    }
}

}  // namespace
