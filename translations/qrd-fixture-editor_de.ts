<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About QRD-540B / QRD-780 Fixture Library Editor</source>
        <translation>Über QRD-540B / QRD-780 Fixture Library Editor</translation>
    </message>
    <message>
        <source>About Korvane QRD-540B / QRD-780 Fixture Library Editor.</source>
        <translation>Über Korvane QRD-540B / QRD-780 Fixture Library Editor.</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;About Korvane QRD-540B Fixture Library Editor Dialog.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Dialog „Über Korvane QRD-540B Fixture Library Editor“.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:12pt; font-weight:600;&quot;&gt;QRD-540B / QRD-780 Fixture Library Editor&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:12pt; font-weight:600;&quot;&gt;QRD-540B / QRD-780 Fixture Library Editor&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>ChannelSheetLayout</name>
    <message>
        <source>Short name</source>
        <translation>Kurzname</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Manufacturer short</source>
        <translation>Hersteller-Kurzname</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Ch</source>
        <translation>Kan.</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Unnamed definition</source>
        <translation>Unbenannte Definition</translation>
    </message>
    <message>
        <source>%1 (continued)</source>
        <translation>%1 (Fortsetzung)</translation>
    </message>
    <message>
        <source>No channels</source>
        <translation>Keine Kanäle</translation>
    </message>
    <message>
        <source>Device fit</source>
        <translation>Geräteeignung</translation>
    </message>
    <message>
        <source>Refused</source>
        <translation>Abgelehnt</translation>
    </message>
    <message>
        <source>Changed</source>
        <translation>Geändert</translation>
    </message>
</context>
<context>
    <name>ChannelSheets</name>
    <message>
        <source>Channel sheets: %1</source>
        <translation>Kanalblätter: %1</translation>
    </message>
    <message>
        <source>The sheets could not be drawn.</source>
        <translation>Die Kanalblätter konnten nicht erstellt werden.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Show this help and quit.</source>
        <translation>Diese Hilfe anzeigen und beenden.</translation>
    </message>
    <message>
        <source>Show the version (%1) and quit.</source>
        <translation>Die Version (%1) anzeigen und beenden.</translation>
    </message>
    <message>
        <source>Fixture library editor for the QRD-540B and QRD-780 DMX testers.</source>
        <translation>Fixture-Bibliothekseditor für die DMX-Tester QRD-540B und QRD-780.</translation>
    </message>
    <message>
        <source>The library (.kvfl) to open; without it, the one open when the editor was last closed.</source>
        <translation>Die zu öffnende Bibliothek (.kvfl); ohne Angabe die beim letzten Beenden geöffnete.</translation>
    </message>
    <message>
        <source>Show the editor in LANGUAGE (de, en, ...); without it, in the language of the system.</source>
        <translation>Den Editor in der Sprache LANGUAGE (de, en, ...) anzeigen; ohne Angabe in der Sprache des Systems.</translation>
    </message>
    <message>
        <source>See --help.</source>
        <translation>Siehe --help.</translation>
    </message>
</context>
<context>
    <name>DeviceFit</name>
    <message>
        <source>Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>%1 channels; the devices hold %2 to %3</source>
        <translation>%1 Kanäle; die Geräte fassen %2 bis %3</translation>
    </message>
    <message>
        <source>%1: %2 characters, the device shows the first %3: %4</source>
        <translation>%1: %2 Zeichen, das Gerät zeigt die ersten %3: %4</translation>
    </message>
    <message>
        <source>%1: %2 will show as %3</source>
        <translation>%1: %2 erscheint als %3</translation>
    </message>
    <message>
        <source>Fixture Name</source>
        <translation>Fixture-Name</translation>
    </message>
    <message>
        <source>Fixture Name Short</source>
        <translation>Fixture-Kurzname</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Manufacturer Short</source>
        <translation>Hersteller-Kurzname</translation>
    </message>
    <message>
        <source>Channel numbers outside %1 to %2: %3; the device leaves these channels out</source>
        <translation>Kanalnummern außerhalb von %1 bis %2: %3; das Gerät lässt diese Kanäle weg</translation>
    </message>
    <message>
        <source>Channel numbers used more than once: %1; the device keeps only the last channel of each</source>
        <translation>Mehrfach vergebene Kanalnummern: %1; das Gerät behält jeweils nur den letzten Kanal</translation>
    </message>
    <message>
        <source>No channel numbered %1; the device shows channels 1 to %2 by slot, so these show without a name</source>
        <translation>Kein Kanal mit der Nummer %1; das Gerät zeigt die Kanäle 1 bis %2 nach Position, diese erscheinen also ohne Namen</translation>
    </message>
    <message>
        <source>Channels numbered %1 lie beyond the channel count (%2); the device does not show them</source>
        <translation>Die Kanäle mit den Nummern %1 liegen über der Kanalanzahl (%2); das Gerät zeigt sie nicht an</translation>
    </message>
    <message>
        <source>Channel %1 Name</source>
        <translation>Kanal %1 Name</translation>
    </message>
    <message>
        <source>Channel %1 Name Short</source>
        <translation>Kanal %1 Kurzname</translation>
    </message>
    <message>
        <source>Channel %1 Name Short and Channel %2 Name Short both read %3 on the device, though the names differ</source>
        <translation>Kanal %1 Kurzname und Kanal %2 Kurzname lauten auf dem Gerät beide %3, obwohl die Namen verschieden sind</translation>
    </message>
</context>
<context>
    <name>DeviceForm</name>
    <message>
        <source>Find Devices</source>
        <translation>Geräte suchen</translation>
    </message>
    <message>
        <source>Firmware %1</source>
        <translation>Firmware %1</translation>
    </message>
    <message>
        <source>1 free slot</source>
        <translation>1 freier Speicherplatz</translation>
    </message>
    <message>
        <source>%1 free slots</source>
        <translation>%1 freie Speicherplätze</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>Clear selection</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <source>Copy selected to computer</source>
        <translation>Ausgewählte auf den Computer kopieren</translation>
    </message>
    <message>
        <source>Delete selected</source>
        <translation>Ausgewählte löschen</translation>
    </message>
</context>
<context>
    <name>DeviceMessages</name>
    <message>
        <source>Upload of fixture definition(s) failed.</source>
        <translation>Das Hochladen der Fixture-Definition(en) ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The device seems not to have enough free memory slots to store
all of the selected fixtures.</source>
        <translation>Das Gerät hat anscheinend nicht genug freie Speicherplätze für
alle ausgewählten Fixtures.</translation>
    </message>
    <message>
        <source>Make sure that no fixture definition has less than %1 channel or more
than %2 channels.</source>
        <translation>Achten Sie darauf, dass keine Fixture-Definition weniger als %1 Kanal oder mehr
als %2 Kanäle hat.</translation>
    </message>
    <message>
        <source>Downloading of fixture definition(s) failed.</source>
        <translation>Das Herunterladen der Fixture-Definition(en) ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Deletion of fixture definition(s) failed.</source>
        <translation>Das Löschen der Fixture-Definition(en) ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Deletion of patch list has failed.</source>
        <translation>Das Löschen der Patchliste ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>The firmware update could not be completed</source>
        <translation>Das Firmware-Update konnte nicht abgeschlossen werden.</translation>
    </message>
</context>
<context>
    <name>FirmwareUpdateDlg</name>
    <message>
        <source>QRD-540B  / QRD-780 Firmware Update Tool</source>
        <translation>QRD-540B / QRD-780 Firmware-Update</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:8pt;&quot;&gt;Click to discover connected QRD-540B / QRD-780 devices&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:8pt;&quot;&gt;Klicken, um angeschlossene Geräte QRD-540B / QRD-780 zu suchen&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Discover Devices</source>
        <translation>Geräte suchen</translation>
    </message>
    <message>
        <source>QRD-540B / QRD-780 Firmware Update Tool</source>
        <translation>QRD-540B / QRD-780 Firmware-Update</translation>
    </message>
    <message>
        <source>Click to load an alternative update image</source>
        <translation>Klicken, um eine andere Update-Datei zu laden</translation>
    </message>
    <message>
        <source>Load Update File</source>
        <translation>Update-Datei laden</translation>
    </message>
    <message>
        <source>Click to update the firmware</source>
        <translation>Klicken, um die Firmware zu aktualisieren</translation>
    </message>
    <message>
        <source>Update Firmware</source>
        <translation>Firmware aktualisieren</translation>
    </message>
    <message>
        <source>Close this window</source>
        <translation>Dieses Fenster schließen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Default firmware update file loaded. Load </source>
        <translation>Standard-Update-Datei geladen. </translation>
    </message>
    <message>
        <source>alternative</source>
        <translation>Andere Update-Datei</translation>
    </message>
    <message>
        <source> update file.</source>
        <translation> laden.</translation>
    </message>
    <message>
        <source>Load the </source>
        <translation>Die </translation>
    </message>
    <message>
        <source>default</source>
        <translation>Standard-Update-Datei</translation>
    </message>
    <message>
        <source>Open a Korvane Update File</source>
        <translation>Korvane-Update-Datei öffnen</translation>
    </message>
    <message>
        <source>KV2 files (*.kv2)</source>
        <translation>KV2-Dateien (*.kv2)</translation>
    </message>
    <message>
        <source>The file &apos;%1&apos; is for the %2, but the selected device is a %3.</source>
        <translation>Die Datei &apos;%1&apos; ist für das %2, aber das ausgewählte Gerät ist ein %3.</translation>
    </message>
    <message>
        <source>Update the firmware of the %1 at %2 with the file &apos;%3&apos;?</source>
        <translation>Die Firmware des Geräts %1 an %2 mit der Datei &apos;%3&apos; aktualisieren?</translation>
    </message>
    <message>
        <source>Update the firmware of the %1 at %2 with the editor&apos;s own update file &apos;%3&apos;?</source>
        <translation>Die Firmware des Geräts %1 an %2 mit der mitgelieferten Update-Datei &apos;%3&apos; aktualisieren?</translation>
    </message>
    <message>
        <source>Do not unplug the device until the update is done.</source>
        <translation>Trennen Sie das Gerät erst, wenn das Update abgeschlossen ist.</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Firmware update</source>
        <translation>Firmware-Update</translation>
    </message>
    <message>
        <source>The firmware of the %1 at %2 was updated.</source>
        <translation>Die Firmware des Geräts %1 an %2 wurde aktualisiert.</translation>
    </message>
    <message>
        <source>The device restarts with its new firmware and is now discovered again.</source>
        <translation>Das Gerät startet mit der neuen Firmware neu und wird jetzt erneut gesucht.</translation>
    </message>
    <message>
        <source>Firmware update failed</source>
        <translation>Firmware-Update fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>FixtureCatalogueDialog</name>
    <message>
        <source>Fixture Catalogue</source>
        <translation>Fixture-Katalog</translation>
    </message>
    <message>
        <source>Search manufacturer, fixture and mode</source>
        <translation>Hersteller, Fixture und Modus durchsuchen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Channel#</source>
        <translation>Kanal-Nr.</translation>
    </message>
    <message>
        <source>Channel Name</source>
        <translation>Kanalname</translation>
    </message>
    <message>
        <source>On the Device</source>
        <translation>Auf dem Gerät</translation>
    </message>
    <message>
        <source>Add to Library</source>
        <translation>Zur Bibliothek hinzufügen</translation>
    </message>
    <message>
        <source>Add Folder...</source>
        <translation>Ordner hinzufügen...</translation>
    </message>
    <message>
        <source>Reading fixture files...</source>
        <translation>Fixture-Dateien werden gelesen...</translation>
    </message>
    <message>
        <source>%1 in %2 from %3</source>
        <translation>%1 in %2 aus %3</translation>
    </message>
    <message>
        <source>%1 mode</source>
        <translation>%1 Modus</translation>
    </message>
    <message>
        <source>%1 modes</source>
        <translation>%1 Modi</translation>
    </message>
    <message>
        <source>%1 fixture</source>
        <translation>%1 Fixture</translation>
    </message>
    <message>
        <source>%1 fixtures</source>
        <translation>%1 Fixtures</translation>
    </message>
    <message>
        <source>%1 folder</source>
        <translation>%1 Ordner</translation>
    </message>
    <message>
        <source>%1 folders</source>
        <translation>%1 Ordnern</translation>
    </message>
    <message>
        <source>; %1 files could not be read</source>
        <translation>; %1 Dateien konnten nicht gelesen werden</translation>
    </message>
    <message>
        <source>No QLC+ fixture files found. Install QLC+&apos;s fixtures (Debian: qlcplus-data) or add a folder of .qxf files.</source>
        <translation>Keine QLC+-Fixture-Dateien gefunden. Installieren Sie die Fixtures von QLC+ (Debian: qlcplus-data) oder fügen Sie einen Ordner mit .qxf-Dateien hinzu.</translation>
    </message>
    <message>
        <source>Select a mode to see its channels.</source>
        <translation>Wählen Sie einen Modus, um seine Kanäle zu sehen.</translation>
    </message>
    <message>
        <source>&lt;b&gt;%1&lt;/b&gt; by %2&lt;br&gt;On the device: %3 / %4</source>
        <translation>&lt;b&gt;%1&lt;/b&gt; von %2&lt;br&gt;Auf dem Gerät: %3 / %4</translation>
    </message>
    <message>
        <source>Not for the device: %1</source>
        <translation>Nicht für das Gerät: %1</translation>
    </message>
    <message>
        <source>Add a Folder of QLC+ Fixture Files</source>
        <translation>Ordner mit QLC+-Fixture-Dateien hinzufügen</translation>
    </message>
</context>
<context>
    <name>FixtureType</name>
    <message>
        <source>Moving Head</source>
        <translation>Moving Head</translation>
    </message>
    <message>
        <source>Scanner</source>
        <translation>Scanner</translation>
    </message>
    <message>
        <source>LED Fixture</source>
        <translation>LED-Fixture</translation>
    </message>
    <message>
        <source>Color Changer</source>
        <translation>Farbwechsler</translation>
    </message>
    <message>
        <source>Dimmer</source>
        <translation>Dimmer</translation>
    </message>
    <message>
        <source>Laser</source>
        <translation>Laser</translation>
    </message>
    <message>
        <source>Strobe</source>
        <translation>Stroboskop</translation>
    </message>
    <message>
        <source>Hazer</source>
        <translation>Hazer</translation>
    </message>
    <message>
        <source>Smoke</source>
        <translation>Nebel</translation>
    </message>
    <message>
        <source>Effect</source>
        <translation>Effekt</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Sonstige</translation>
    </message>
    <message>
        <source>Undefined</source>
        <translation>Nicht festgelegt</translation>
    </message>
</context>
<context>
    <name>FixturesCounterForm</name>
    <message>
        <source>%1 Fixture Definition</source>
        <translation>%1 Fixture-Definition</translation>
    </message>
    <message>
        <source>%1 Fixture Definitions</source>
        <translation>%1 Fixture-Definitionen</translation>
    </message>
    <message>
        <source>%1 of %2 Fixture Definition</source>
        <translation>%1 von %2 Fixture-Definition</translation>
    </message>
    <message>
        <source>%1 of %2 Fixture Definitions</source>
        <translation>%1 von %2 Fixture-Definitionen</translation>
    </message>
    <message>
        <source> (%1 Selected)</source>
        <translation> (%1 ausgewählt)</translation>
    </message>
</context>
<context>
    <name>KVFLArchive</name>
    <message>
        <source>The file does not exist.</source>
        <translation>Die Datei existiert nicht.</translation>
    </message>
    <message>
        <source>Out of memory.</source>
        <translation>Nicht genug Arbeitsspeicher.</translation>
    </message>
    <message>
        <source>The file is not a library: %1</source>
        <translation>Die Datei ist keine Bibliothek: %1</translation>
    </message>
    <message>
        <source>The library is damaged: %1</source>
        <translation>Die Bibliothek ist beschädigt: %1</translation>
    </message>
    <message>
        <source>The library is damaged: its version member is too large.</source>
        <translation>Die Bibliothek ist beschädigt: ihr Versionseintrag ist zu groß.</translation>
    </message>
    <message>
        <source>The library is damaged: its version member is incomplete.</source>
        <translation>Die Bibliothek ist beschädigt: ihr Versionseintrag ist unvollständig.</translation>
    </message>
    <message>
        <source>The library is damaged: the member %1 is too large.</source>
        <translation>Die Bibliothek ist beschädigt: der Eintrag %1 ist zu groß.</translation>
    </message>
    <message>
        <source>The library is too large: its fixture documents exceed %1 MiB.</source>
        <translation>Die Bibliothek ist zu groß: ihre Fixture-Dokumente überschreiten %1 MiB.</translation>
    </message>
    <message>
        <source>The library is damaged: the member %1 is incomplete.</source>
        <translation>Die Bibliothek ist beschädigt: der Eintrag %1 ist unvollständig.</translation>
    </message>
    <message>
        <source>The file has no library version.</source>
        <translation>Die Datei hat keine Bibliotheksversion.</translation>
    </message>
    <message>
        <source>The library version %1 is not supported.</source>
        <translation>Die Bibliotheksversion %1 wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>The library has no file name.</source>
        <translation>Die Bibliothek hat keinen Dateinamen.</translation>
    </message>
    <message>
        <source>The library could not be written: %1</source>
        <translation>Die Bibliothek konnte nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>The library could not be written.</source>
        <translation>Die Bibliothek konnte nicht geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>LibraryForm</name>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Filter by manufacturer</source>
        <translation>Nach Hersteller filtern</translation>
    </message>
    <message>
        <source>&amp;Manufacturer</source>
        <translation>Hers&amp;teller</translation>
    </message>
    <message>
        <source>Filter by fixture name</source>
        <translation>Nach Fixture-Name filtern</translation>
    </message>
    <message>
        <source>Fixture &amp;Name</source>
        <translation>Fixture-&amp;Name</translation>
    </message>
    <message>
        <source>Add a new fixture definition</source>
        <translation>Neue Fixture-Definition hinzufügen</translation>
    </message>
    <message>
        <source>Duplicate the selected fixture definitions</source>
        <translation>Ausgewählte Fixture-Definitionen duplizieren</translation>
    </message>
    <message>
        <source>Delete the selected fixture definitions</source>
        <translation>Ausgewählte Fixture-Definitionen löschen</translation>
    </message>
    <message>
        <source>Findin&amp;gs</source>
        <translation>Be&amp;funde</translation>
    </message>
    <message>
        <source>Show only the definitions the devices would refuse or change</source>
        <translation>Nur die Definitionen zeigen, die die Geräte ablehnen oder ändern würden</translation>
    </message>
    <message>
        <source>Not on De&amp;vice</source>
        <translation>Nicht auf &amp;Gerät</translation>
    </message>
    <message>
        <source>Show only the definitions the selected device does not hold</source>
        <translation>Nur die Definitionen zeigen, die das ausgewählte Gerät nicht enthält</translation>
    </message>
    <message>
        <source>Add Definition</source>
        <translation>Definition hinzufügen</translation>
    </message>
    <message>
        <source>New Fixture</source>
        <translation>Neues Fixture</translation>
    </message>
    <message>
        <source>%1 (copy)</source>
        <translation>%1 (Kopie)</translation>
    </message>
    <message>
        <source>Duplicate</source>
        <translation>Duplizieren</translation>
    </message>
    <message>
        <source>Add Definitions</source>
        <translation>Definitionen hinzufügen</translation>
    </message>
    <message>
        <source>Remove Definition</source>
        <translation>Definition entfernen</translation>
    </message>
    <message>
        <source>Remove Definitions</source>
        <translation>Definitionen entfernen</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Ausschneiden</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Select all</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>Clear selection</source>
        <translation>Auswahl aufheben</translation>
    </message>
    <message>
        <source>Copy selected to device</source>
        <translation>Ausgewählte auf das Gerät kopieren</translation>
    </message>
    <message>
        <source>Add new fixture definition</source>
        <translation>Neue Fixture-Definition hinzufügen</translation>
    </message>
    <message>
        <source>Duplicate selected fixture definitions</source>
        <translation>Ausgewählte Fixture-Definitionen duplizieren</translation>
    </message>
    <message>
        <source>Delete selected fixture definitions</source>
        <translation>Ausgewählte Fixture-Definitionen löschen</translation>
    </message>
    <message>
        <source>Import Library</source>
        <translation>Bibliothek importieren</translation>
    </message>
</context>
<context>
    <name>LibraryUndo</name>
    <message>
        <source>Rename Definition</source>
        <translation>Definition umbenennen</translation>
    </message>
    <message>
        <source>Change Manufacturer</source>
        <translation>Hersteller ändern</translation>
    </message>
    <message>
        <source>Edit Short Name</source>
        <translation>Kurzname bearbeiten</translation>
    </message>
    <message>
        <source>Edit Manufacturer Short Name</source>
        <translation>Hersteller-Kurzname bearbeiten</translation>
    </message>
    <message>
        <source>Switch Automatic Short Name</source>
        <translation>Automatischen Kurznamen umschalten</translation>
    </message>
    <message>
        <source>Change Type</source>
        <translation>Typ ändern</translation>
    </message>
    <message>
        <source>Add Channel</source>
        <translation>Kanal hinzufügen</translation>
    </message>
    <message>
        <source>Remove Channel</source>
        <translation>Kanal entfernen</translation>
    </message>
    <message>
        <source>Move Channel</source>
        <translation>Kanal verschieben</translation>
    </message>
    <message>
        <source>Rename Channel</source>
        <translation>Kanal umbenennen</translation>
    </message>
    <message>
        <source>Edit Channel Short Name</source>
        <translation>Kanal-Kurzname bearbeiten</translation>
    </message>
    <message>
        <source>Edit Definition</source>
        <translation>Definition bearbeiten</translation>
    </message>
</context>
<context>
    <name>LocalChannelListModel</name>
    <message>
        <source>Channel#</source>
        <translation>Kanal-Nr.</translation>
    </message>
    <message>
        <source>Channel Name</source>
        <translation>Kanalname</translation>
    </message>
</context>
<context>
    <name>LocalFixtureDefinitionEditForm</name>
    <message>
        <source>Fixture Definition</source>
        <translation>Fixture-Definition</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Fixture Name</source>
        <translation>Fixture-Name</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Fixture Type</source>
        <translation>Fixture-Typ</translation>
    </message>
    <message>
        <source>Moving Head</source>
        <translation>Moving Head</translation>
    </message>
    <message>
        <source>Scanner</source>
        <translation>Scanner</translation>
    </message>
    <message>
        <source>LED Fixture</source>
        <translation>LED-Fixture</translation>
    </message>
    <message>
        <source>Color Changer</source>
        <translation>Farbwechsler</translation>
    </message>
    <message>
        <source>Dimmer</source>
        <translation>Dimmer</translation>
    </message>
    <message>
        <source>Laser</source>
        <translation>Laser</translation>
    </message>
    <message>
        <source>Strobe</source>
        <translation>Stroboskop</translation>
    </message>
    <message>
        <source>Hazer</source>
        <translation>Hazer</translation>
    </message>
    <message>
        <source>Smoke</source>
        <translation>Nebel</translation>
    </message>
    <message>
        <source>Effect</source>
        <translation>Effekt</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Sonstige</translation>
    </message>
    <message>
        <source>General Short</source>
        <translation>Kurznamen</translation>
    </message>
    <message>
        <source>Fixture Name Short</source>
        <translation>Fixture-Kurzname</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>Manufacturer Short</source>
        <translation>Hersteller-Kurzname</translation>
    </message>
    <message>
        <source>Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Add a channel</source>
        <translation>Kanal hinzufügen</translation>
    </message>
    <message>
        <source>Delete the selected channel</source>
        <translation>Ausgewählten Kanal löschen</translation>
    </message>
    <message>
        <source>Move the selected channel up</source>
        <translation>Ausgewählten Kanal nach oben verschieben</translation>
    </message>
    <message>
        <source>Move the selected channel down</source>
        <translation>Ausgewählten Kanal nach unten verschieben</translation>
    </message>
    <message>
        <source>Channel Name</source>
        <translation>Kanalname</translation>
    </message>
    <message>
        <source>Channel Name Short</source>
        <translation>Kanal-Kurzname</translation>
    </message>
    <message>
        <source>Channel Description</source>
        <translation>Kanalbeschreibung</translation>
    </message>
    <message>
        <source>Channel %1</source>
        <translation>Kanal %1</translation>
    </message>
</context>
<context>
    <name>LocalFixtureDefinitionListModel</name>
    <message>
        <source>Fixture Name</source>
        <translation>Fixture-Name</translation>
    </message>
    <message>
        <source>#Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>Eignung</translation>
    </message>
    <message>
        <source>The devices take this definition as it is.</source>
        <translation>Die Geräte übernehmen diese Definition unverändert.</translation>
    </message>
    <message>
        <source>The selected device already holds it.</source>
        <translation>Das ausgewählte Gerät enthält sie bereits.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>QRD-540B / QRD-780 Fixture Library Editor</source>
        <translation>QRD-540B / QRD-780 Fixture Library Editor</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;This device needs to be &lt;/span&gt;&lt;a href=&quot;update-device&quot;&gt;&lt;span style=&quot; font-size:10pt; font-weight:700; text-decoration: underline; color:#de2d0a;&quot;&gt;updated&lt;/span&gt;&lt;/a&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt;Die Firmware dieses Geräts muss &lt;/span&gt;&lt;a href=&quot;update-device&quot;&gt;&lt;span style=&quot; font-size:10pt; font-weight:700; text-decoration: underline; color:#de2d0a;&quot;&gt;aktualisiert&lt;/span&gt;&lt;/a&gt;&lt;span style=&quot; font-size:10pt; font-weight:700;&quot;&gt; werden.&lt;/span&gt;&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Total Progress</source>
        <translation>Gesamtfortschritt</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Current Item</source>
        <translation>Aktuelles Element</translation>
    </message>
    <message>
        <source>Closing application</source>
        <translation>Programm wird beendet</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>&amp;New Library</source>
        <translation>&amp;Neue Bibliothek</translation>
    </message>
    <message>
        <source>Ctrl+N</source>
        <translation>Ctrl+N</translation>
    </message>
    <message>
        <source>&amp;Open Library</source>
        <translation>Bibliothek ö&amp;ffnen</translation>
    </message>
    <message>
        <source>Ctrl+O</source>
        <translation>Ctrl+O</translation>
    </message>
    <message>
        <source>&amp;Save Library</source>
        <translation>Bibliothek &amp;speichern</translation>
    </message>
    <message>
        <source>Ctrl+S</source>
        <translation>Ctrl+S</translation>
    </message>
    <message>
        <source>Save Library &amp;as</source>
        <translation>Bibliothek speichern &amp;unter</translation>
    </message>
    <message>
        <source>Ctrl+Shift+S</source>
        <translation>Ctrl+Shift+S</translation>
    </message>
    <message>
        <source>&amp;Import Library</source>
        <translation>Bibliothek &amp;importieren</translation>
    </message>
    <message>
        <source>Ctrl+I</source>
        <translation>Ctrl+I</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>&amp;Discover Devices</source>
        <translation>&amp;Geräte suchen</translation>
    </message>
    <message>
        <source>F5</source>
        <translation>F5</translation>
    </message>
    <message>
        <source>New Library</source>
        <translation>Neue Bibliothek</translation>
    </message>
    <message>
        <source>Open Library</source>
        <translation>Bibliothek öffnen</translation>
    </message>
    <message>
        <source>Save Library</source>
        <translation>Bibliothek speichern</translation>
    </message>
    <message>
        <source>Save Library As</source>
        <translation>Bibliothek speichern unter</translation>
    </message>
    <message>
        <source>Import Library</source>
        <translation>Bibliothek importieren</translation>
    </message>
    <message>
        <source>Upload selection to device</source>
        <translation>Auswahl auf das Gerät hochladen</translation>
    </message>
    <message>
        <source>Download selection to computer</source>
        <translation>Auswahl auf den Computer herunterladen</translation>
    </message>
    <message>
        <source>Unnamed</source>
        <translation>Unbenannt</translation>
    </message>
    <message>
        <source>The current library has been modified
Do you want to save the changes?</source>
        <translation>Die aktuelle Bibliothek wurde geändert.
Möchten Sie die Änderungen speichern?</translation>
    </message>
    <message>
        <source>1 fixture definition in %2 could not be read.</source>
        <translation>1 Fixture-Definition in %2 konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>%1 fixture definitions in %2 could not be read.</source>
        <translation>%1 Fixture-Definitionen in %2 konnten nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Saving the library will leave it out.</source>
        <translation>Beim Speichern der Bibliothek wird sie weggelassen.</translation>
    </message>
    <message>
        <source>Saving the library will leave them out.</source>
        <translation>Beim Speichern der Bibliothek werden sie weggelassen.</translation>
    </message>
    <message>
        <source>Saving will leave it out of the file. Continue anyway?</source>
        <translation>Beim Speichern fehlt sie in der Datei. Trotzdem fortfahren?</translation>
    </message>
    <message>
        <source>Saving will leave them out of the file. Continue anyway?</source>
        <translation>Beim Speichern fehlen sie in der Datei. Trotzdem fortfahren?</translation>
    </message>
    <message>
        <source>Could not open %1: %2</source>
        <translation>%1 konnte nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>Korvane Fixture Libraries (*.kvfl)</source>
        <translation>Korvane-Fixture-Bibliotheken (*.kvfl)</translation>
    </message>
    <message>
        <source>Failed to open the library.</source>
        <translation>Die Bibliothek konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>The file contains information not supported by this software version.
Data will be lost when storing this file. Continue anyway?</source>
        <translation>Die Datei enthält Angaben, die diese Programmversion nicht unterstützt.
Beim Speichern gehen Daten verloren. Trotzdem fortfahren?</translation>
    </message>
    <message>
        <source>1 definition imported</source>
        <translation>1 Definition importiert</translation>
    </message>
    <message>
        <source>%1 definitions imported</source>
        <translation>%1 Definitionen importiert</translation>
    </message>
    <message>
        <source>It was not imported.</source>
        <translation>Sie wurde nicht importiert.</translation>
    </message>
    <message>
        <source>They were not imported.</source>
        <translation>Sie wurden nicht importiert.</translation>
    </message>
    <message>
        <source>Save library as</source>
        <translation>Bibliothek speichern unter</translation>
    </message>
    <message>
        <source>Korvane Fixture Definition Library (*.kvfl)</source>
        <translation>Korvane-Fixture-Bibliothek (*.kvfl)</translation>
    </message>
    <message>
        <source>Failed to save the library.</source>
        <translation>Die Bibliothek konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>%1 gespeichert</translation>
    </message>
    <message>
        <source>Add fixture definitions from the QLC+ fixture catalogue</source>
        <translation>Fixture-Definitionen aus dem QLC+-Fixture-Katalog hinzufügen</translation>
    </message>
    <message>
        <source>Import QLC+ Fixture Files</source>
        <translation>QLC+-Fixture-Dateien importieren</translation>
    </message>
    <message>
        <source>QLC+ fixture files (*.qxf);;All files (*)</source>
        <translation>QLC+-Fixture-Dateien (*.qxf);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Add from Catalogue</source>
        <translation>Aus Katalog hinzufügen</translation>
    </message>
    <message>
        <source>1 definition added from the catalogue</source>
        <translation>1 Definition aus dem Katalog hinzugefügt</translation>
    </message>
    <message>
        <source>%1 definitions added from the catalogue</source>
        <translation>%1 Definitionen aus dem Katalog hinzugefügt</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Import QLC+ Fixtures</source>
        <translation>QLC+-Fixtures importieren</translation>
    </message>
    <message>
        <source>Kept out, as the devices cannot take them:</source>
        <translation>Ausgelassen, da die Geräte sie nicht übernehmen können:</translation>
    </message>
    <message>
        <source>Files that could not be read:</source>
        <translation>Dateien, die nicht gelesen werden konnten:</translation>
    </message>
    <message>
        <source>1 fixture definition was added to the library.</source>
        <translation>1 Fixture-Definition wurde zur Bibliothek hinzugefügt.</translation>
    </message>
    <message>
        <source>%1 fixture definitions were added to the library.</source>
        <translation>%1 Fixture-Definitionen wurden zur Bibliothek hinzugefügt.</translation>
    </message>
    <message>
        <source>%1 modes were kept out and %2 files could not be read.</source>
        <translation>%1 Modi wurden ausgelassen und %2 Dateien konnten nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The library already has &quot;%1&quot; by %2.</source>
        <translation>Die Bibliothek enthält bereits „%1“ von %2.</translation>
    </message>
    <message>
        <source>Replace it with the catalogue&apos;s, keep both, or skip this one?</source>
        <translation>Durch die aus dem Katalog ersetzen, beide behalten oder diese überspringen?</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>Keep Both</source>
        <translation>Beide behalten</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>Do the same for the other %1 already in the library</source>
        <translation>Ebenso für die anderen %1 verfahren, die schon in der Bibliothek sind</translation>
    </message>
    <message>
        <source>No device found. Connect a QRD-540B or QRD-780 and press Find Devices.</source>
        <translation>Kein Gerät gefunden. Schließen Sie ein QRD-540B oder QRD-780 an und klicken Sie auf „Geräte suchen“.</translation>
    </message>
    <message>
        <source>1 definition will be changed on the device.</source>
        <translation>1 Definition wird auf dem Gerät geändert.</translation>
    </message>
    <message>
        <source>%1 definitions will be changed on the device.</source>
        <translation>%1 Definitionen werden auf dem Gerät geändert.</translation>
    </message>
    <message>
        <source>The device cuts texts to its fields and shows &quot;?&quot; for characters it cannot display. Show Details lists what changes.</source>
        <translation>Das Gerät kürzt Texte auf seine Feldlängen und zeigt „?“ für Zeichen, die es nicht darstellen kann. „Details einblenden“ listet die Änderungen auf.</translation>
    </message>
    <message>
        <source>Upload Anyway</source>
        <translation>Trotzdem hochladen</translation>
    </message>
    <message>
        <source>1 is new.</source>
        <translation>1 ist neu.</translation>
    </message>
    <message>
        <source>%1 are new.</source>
        <translation>%1 sind neu.</translation>
    </message>
    <message>
        <source>Skip Those</source>
        <translation>Diese überspringen</translation>
    </message>
    <message>
        <source>%1 of the %2 definitions are already on the %3.</source>
        <translation>%1 der %2 Definitionen sind bereits auf dem Gerät %3.</translation>
    </message>
    <message>
        <source>The %1 already holds every definition selected.</source>
        <translation>Das Gerät %1 enthält bereits alle ausgewählten Definitionen.</translation>
    </message>
    <message>
        <source>Upload Again</source>
        <translation>Erneut hochladen</translation>
    </message>
    <message>
        <source>1 definition copied to the device</source>
        <translation>1 Definition auf das Gerät kopiert</translation>
    </message>
    <message>
        <source>%1 definitions copied to the device</source>
        <translation>%1 Definitionen auf das Gerät kopiert</translation>
    </message>
    <message>
        <source>Upload cancelled: %1 of %2 definitions were written.</source>
        <translation>Hochladen abgebrochen: %1 von %2 Definitionen wurden geschrieben.</translation>
    </message>
    <message>
        <source>Free slots: %1. Definitions selected: %2.</source>
        <translation>Freie Speicherplätze: %1. Ausgewählte Definitionen: %2.</translation>
    </message>
    <message>
        <source>Definitions selected: %1.</source>
        <translation>Ausgewählte Definitionen: %1.</translation>
    </message>
    <message numerus="yes">
        <source>%1 (%n channel(s))</source>
        <translation>
            <numerusform>%1 (%n Kanal)</numerusform>
            <numerusform>%1 (%n Kanäle)</numerusform>
        </translation>
    </message>
    <message>
        <source>Outside these limits: %1.</source>
        <translation>Außerhalb dieser Grenzen: %1.</translation>
    </message>
    <message>
        <source>The %1 takes new fixture definitions only while its patch list is empty.
</source>
        <translation>Das Gerät %1 nimmt neue Fixture-Definitionen nur bei leerer Patchliste an.
</translation>
    </message>
    <message>
        <source>The current patch list will be erased.
Do you want to continue?</source>
        <translation>Die aktuelle Patchliste wird gelöscht.
Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <source>%1 of the %2 definitions are already in the library.</source>
        <translation>%1 der %2 Definitionen sind bereits in der Bibliothek.</translation>
    </message>
    <message>
        <source>The library already holds every definition selected.</source>
        <translation>Die Bibliothek enthält bereits alle ausgewählten Definitionen.</translation>
    </message>
    <message>
        <source>Download Again</source>
        <translation>Erneut herunterladen</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>1 definition copied into the library</source>
        <translation>1 Definition in die Bibliothek kopiert</translation>
    </message>
    <message>
        <source>%1 definitions copied into the library</source>
        <translation>%1 Definitionen in die Bibliothek kopiert</translation>
    </message>
    <message>
        <source>Download cancelled: %1 of %2 definitions were copied into the library.</source>
        <translation>Herunterladen abgebrochen: %1 von %2 Definitionen wurden in die Bibliothek kopiert.</translation>
    </message>
    <message>
        <source>Delete 1 fixture definition from the %1? This cannot be undone.</source>
        <translation>1 Fixture-Definition vom Gerät %1 löschen? Das kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Delete %1 fixture definitions from the %2? This cannot be undone.</source>
        <translation>%1 Fixture-Definitionen vom Gerät %2 löschen? Das kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>1 definition deleted</source>
        <translation>1 Definition gelöscht</translation>
    </message>
    <message>
        <source>%1 definitions deleted</source>
        <translation>%1 Definitionen gelöscht</translation>
    </message>
    <message>
        <source>Deletion cancelled: %1 of %2 definitions were deleted.</source>
        <translation>Löschen abgebrochen: %1 von %2 Definitionen wurden gelöscht.</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>&amp;Ausschneiden</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>&amp;Einfügen</translation>
    </message>
    <message>
        <source>The clipboard holds no fixture definitions.</source>
        <translation>Die Zwischenablage enthält keine Fixture-Definitionen.</translation>
    </message>
    <message>
        <source>Open &amp;Recent</source>
        <translation>&amp;Zuletzt geöffnet</translation>
    </message>
    <message>
        <source>&amp;Undo %1</source>
        <translation>&amp;Rückgängig: %1</translation>
    </message>
    <message>
        <source>&amp;Redo %1</source>
        <translation>&amp;Wiederherstellen: %1</translation>
    </message>
    <message>
        <source>Clear Menu</source>
        <translation>Liste leeren</translation>
    </message>
    <message>
        <source>The library %1 is no longer there.</source>
        <translation>Die Bibliothek %1 ist nicht mehr vorhanden.</translation>
    </message>
    <message>
        <source>It was removed from the list of recent libraries.</source>
        <translation>Sie wurde aus der Liste der zuletzt geöffneten Bibliotheken entfernt.</translation>
    </message>
    <message>
        <source>&amp;Print…</source>
        <translation>&amp;Drucken…</translation>
    </message>
    <message>
        <source>Print Pre&amp;view…</source>
        <translation>Druck&amp;vorschau…</translation>
    </message>
    <message>
        <source>&amp;Export Channel Sheets as PDF…</source>
        <translation>Kanalblätter als PDF e&amp;xportieren…</translation>
    </message>
    <message>
        <source>There are no definitions to print.</source>
        <translation>Es gibt keine Definitionen zum Drucken.</translation>
    </message>
    <message>
        <source>Channel sheets</source>
        <translation>Kanalblätter</translation>
    </message>
    <message>
        <source>Print Channel Sheets</source>
        <translation>Kanalblätter drucken</translation>
    </message>
    <message>
        <source>Failed to print the channel sheets.</source>
        <translation>Die Kanalblätter konnten nicht gedruckt werden.</translation>
    </message>
    <message>
        <source>Channel Sheets</source>
        <translation>Kanalblätter</translation>
    </message>
    <message>
        <source>There are no definitions to export.</source>
        <translation>Es gibt keine Definitionen zum Exportieren.</translation>
    </message>
    <message>
        <source>Export the Channel Sheet of 1 Definition as PDF</source>
        <translation>Kanalblatt von 1 Definition als PDF exportieren</translation>
    </message>
    <message>
        <source>Export the Channel Sheets of %1 Definitions as PDF</source>
        <translation>Kanalblätter von %1 Definitionen als PDF exportieren</translation>
    </message>
    <message>
        <source>PDF files (*.pdf);;All files (*)</source>
        <translation>PDF-Dateien (*.pdf);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Failed to write the channel sheets.</source>
        <translation>Die Kanalblätter konnten nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Channel sheets exported: 1 page</source>
        <translation>Kanalblätter exportiert: 1 Seite</translation>
    </message>
    <message>
        <source>Channel sheets exported: %1 pages</source>
        <translation>Kanalblätter exportiert: %1 Seiten</translation>
    </message>
    <message>
        <source>Update &amp;Firmware</source>
        <translation>&amp;Firmware aktualisieren</translation>
    </message>
    <message>
        <source>Add from Fixture Cata&amp;logue...</source>
        <translation>Aus Fixture-Katalog &amp;hinzufügen...</translation>
    </message>
    <message>
        <source>Import QLC+ &amp;Fixture Files...</source>
        <translation>&amp;QLC+-Fixture-Dateien importieren...</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source> is OK.</source>
        <translation> ist in Ordnung.</translation>
    </message>
    <message>
        <source> is not readable.</source>
        <translation> ist nicht lesbar.</translation>
    </message>
    <message>
        <source> is not a valid KV2 file.</source>
        <translation> ist keine gültige KV2-Datei.</translation>
    </message>
    <message>
        <source> does not contain a firmware update for a supported device.</source>
        <translation> enthält kein Firmware-Update für ein unterstütztes Gerät.</translation>
    </message>
    <message>
        <source>The file </source>
        <translation>Die Datei </translation>
    </message>
</context>
<context>
    <name>RemoteFixtureDefinitionListModel</name>
    <message>
        <source>Not in the library: %1</source>
        <translation>Nicht in der Bibliothek: %1</translation>
    </message>
    <message>
        <source>Fixture Name</source>
        <translation>Fixture-Name</translation>
    </message>
    <message>
        <source>#Channels</source>
        <translation>Kanäle</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
</context>
</TS>
