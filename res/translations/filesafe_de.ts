<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1">
<context>
    <name>ActivityProgressBarView</name>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
</context>
<context>
    <name>ActivityStatusView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>See: %1</source>
        <translation>Siehe: %1</translation>
    </message>
</context>
<context>
    <name>AddSettingFileSafeView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
</context>
<context>
    <name>AddSettingView</name>
    <message>
        <source>Add New Setting</source>
        <translation>Neuen Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Select the space - Team-Space or Private Safe - you would like to synchronize. In the next step, you will be able to configure advanced settings for the new item.</source>
        <translation>Wählen Sie den Bereich – Team-Space oder privaten Safe –, den Sie synchronisieren möchten. Im nächsten Schritt können Sie weitere Einstellungen für den neuen Eintrag vornehmen.</translation>
    </message>
    <message>
        <source>Loading filesafe list...</source>
        <translation>Liste der Dateisafes wird geladen...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Folder in Safe:</source>
        <translation>Ordner im Safe:</translation>
    </message>
    <message>
        <source>Complete Folder Structure</source>
        <translation>Gesamte Ordnerstruktur</translation>
    </message>
    <message>
        <source>Select Specific Folder</source>
        <translation>Bestimmten Ordner wählen</translation>
    </message>
    <message>
        <source>Local Folder:</source>
        <translation>Lokaler Ordner:</translation>
    </message>
    <message>
        <source>Synchronization:</source>
        <translation>Synchronisation:</translation>
    </message>
    <message>
        <source>Automatically</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Select local folder to synchronize</source>
        <translation>Lokalen Ordner zum Synchronisieren wählen</translation>
    </message>
    <message>
        <source>The local folder "%1" &lt;ul&gt;&lt;li&gt;is already synchronized&lt;/li&gt;&lt;li&gt;or contains a folder which is synchronized&lt;/li&gt;&lt;li&gt;or is within a folder which is synchronized&lt;/li&gt;&lt;/ul&gt;with the file safe &lt;b&gt;"%2"&lt;/b&gt; used by &lt;b&gt;yourself&lt;/b&gt;. &lt;br/&gt;&lt;br/&gt;Do you want to replace that synchronization setting?</source>
        <translation>Der lokale Ordner "%1" &lt;ul&gt;&lt;li&gt;wird bereits synchronisiert&lt;/li&gt;&lt;li&gt;oder enthält einen synchronisierten Ordner&lt;/li&gt;&lt;li&gt;oder liegt in einem synchronisierten Ordner&lt;/li&gt;&lt;/ul&gt;mit dem Dateisafe &lt;b&gt;"%2"&lt;/b&gt;, den &lt;b&gt;Sie selbst&lt;/b&gt; verwenden. &lt;br/&gt;&lt;br/&gt;Möchten Sie diese Synchronisationseinstellung ersetzen?</translation>
    </message>
    <message>
        <source>The local folder "%1" &lt;ul&gt;&lt;li&gt;is already synchronized&lt;/li&gt;&lt;li&gt;or contains a folder which is synchronized&lt;/li&gt;&lt;li&gt;or is within a folder which is synchronized&lt;/li&gt;&lt;/ul&gt;with the file safe &lt;b&gt;"%2"&lt;/b&gt; used by ${APP_NAME} user &lt;b&gt;"%3"&lt;/b&gt;. &lt;br/&gt;&lt;br/&gt;Do you want to replace that synchronization setting?</source>
        <translation>Der lokale Ordner "%1" &lt;ul&gt;&lt;li&gt;wird bereits synchronisiert&lt;/li&gt;&lt;li&gt;oder enthält einen synchronisierten Ordner&lt;/li&gt;&lt;li&gt;oder liegt in einem synchronisierten Ordner&lt;/li&gt;&lt;/ul&gt;mit dem Dateisafe &lt;b&gt;"%2"&lt;/b&gt; des ${APP_NAME}-Benutzers &lt;b&gt;"%3"&lt;/b&gt;. &lt;br/&gt;&lt;br/&gt;Möchten Sie diese Synchronisationseinstellung ersetzen?</translation>
    </message>
    <message>
        <source>Folder already used!</source>
        <translation>Ordner bereits verwendet!</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Failed to remove settings for filesafe %1</source>
        <translation>Die Einstellungen für den Dateisafe %1 konnten nicht entfernt werden</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>The local folder does not exist:
    %1
Create it?</source>
        <translation>Der lokale Ordner existiert nicht:
    %1
Anlegen?</translation>
    </message>
    <message>
        <source>Cannot create folder:
%1</source>
        <translation>Ordner kann nicht angelegt werden:
%1</translation>
    </message>
    <message>
        <source>The synchronization setting could not be stored. Please try again.</source>
        <translation>Die Synchronisationseinstellung konnte nicht gespeichert werden. Bitte versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>AdvancedStorageLocationView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>Alle auswählen</translation>
    </message>
    <message>
        <source>${APP_NAME} default folder:</source>
        <translation>${APP_NAME}-Standardordner:</translation>
    </message>
    <message>
        <source>Change local default ${APP_NAME} folder...</source>
        <translation>Lokalen ${APP_NAME}-Standardordner ändern...</translation>
    </message>
    <message>
        <source>File Safe</source>
        <translation>Dateisafe</translation>
    </message>
    <message>
        <source>Local Folder</source>
        <translation>Lokaler Ordner</translation>
    </message>
    <message>
        <source>Your synchronized folders will be set up in '%1'.&lt;br/&gt;Click here to choose a different base folder for all your synchronized folders</source>
        <translation>Ihre synchronisierten Ordner werden in '%1' angelegt.&lt;br/&gt;Klicken Sie hier, um einen anderen Basisordner für alle synchronisierten Ordner zu wählen</translation>
    </message>
    <message>
        <source>Select new ${APP_NAME} default folder</source>
        <translation>Neuen ${APP_NAME}-Standardordner wählen</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>The folder %1 of the file safe "%2" overlaps the synchronized folder of "%3" and is left out.</source>
        <translation>Der Ordner %1 des Dateisafes "%2" überschneidet sich mit dem synchronisierten Ordner von "%3" und wird ausgelassen.</translation>
    </message>
    <message>
        <source>Failed to create folder:</source>
        <translation>Ordner konnte nicht angelegt werden:</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>The synchronization setting of the file safe "%1" could not be stored.</source>
        <translation>Die Synchronisationseinstellung des Dateisafes "%1" konnte nicht gespeichert werden.</translation>
    </message>
</context>
<context>
    <name>FileSyncSettingsView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>+</source>
        <translation>+</translation>
    </message>
    <message>
        <source>Create or add a folder to the list of folders to be synchronized ...</source>
        <translation>Einen Ordner anlegen oder zur Liste der synchronisierten Ordner hinzufügen ...</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>Don't synchronize the selected folder anymore ...</source>
        <translation>Den gewählten Ordner nicht mehr synchronisieren ...</translation>
    </message>
    <message>
        <source>Remove all ...</source>
        <translation>Alle entfernen ...</translation>
    </message>
    <message>
        <source>Remove all entries from this list. No folder will be synchronized anymore. The contents of the currently synchronized folders will not be deleted.</source>
        <translation>Alle Einträge aus dieser Liste entfernen. Kein Ordner wird mehr synchronisiert. Der Inhalt der bisher synchronisierten Ordner wird nicht gelöscht.</translation>
    </message>
    <message>
        <source>Local Folder:</source>
        <translation>Lokaler Ordner:</translation>
    </message>
    <message>
        <source>File Safe:</source>
        <translation>Dateisafe:</translation>
    </message>
    <message>
        <source>Folder in Safe:</source>
        <translation>Ordner im Safe:</translation>
    </message>
    <message>
        <source>Role:</source>
        <translation>Rolle:</translation>
    </message>
    <message>
        <source>Synchronization</source>
        <translation>Synchronisation</translation>
    </message>
    <message>
        <source>Automatically</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Sync</source>
        <translation>Synchronisieren</translation>
    </message>
    <message>
        <source>Synchronize this folder now ...</source>
        <translation>Diesen Ordner jetzt synchronisieren ...</translation>
    </message>
    <message>
        <source>Cancel Sync</source>
        <translation>Synchronisation abbrechen</translation>
    </message>
    <message>
        <source>Sync All</source>
        <translation>Alle synchronisieren</translation>
    </message>
    <message>
        <source>Show '%1' in File Manager</source>
        <translation>'%1' im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Add Setting</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Delete Setting</source>
        <translation>Ordner entfernen</translation>
    </message>
    <message>
        <source>Synchronized Folders</source>
        <translation>Synchronisierte Ordner</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Do you want to remove
    %1
from the list of synchronized folders?</source>
        <translation>Möchten Sie
    %1
aus der Liste der synchronisierten Ordner entfernen?</translation>
    </message>
    <message>
        <source>Unable to remove sync folder</source>
        <translation>Synchronisierter Ordner kann nicht entfernt werden</translation>
    </message>
    <message>
        <source>The folder %1 couldn't be removed! Please try again</source>
        <translation>Der Ordner %1 konnte nicht entfernt werden! Bitte versuchen Sie es erneut</translation>
    </message>
    <message>
        <source>Remove all</source>
        <translation>Alle entfernen</translation>
    </message>
    <message>
        <source>&lt;b&gt;Clear list of synchronized folders&lt;/b&gt;&lt;br/&gt;&lt;br/&gt;The contents of the synchronized folders will not be deleted. No folder will be synchronized anymore. &lt;br/&gt;&lt;br/&gt;Do you want to clear the list of synchronized folders?</source>
        <translation>&lt;b&gt;Liste der synchronisierten Ordner leeren&lt;/b&gt;&lt;br/&gt;&lt;br/&gt;Der Inhalt der synchronisierten Ordner wird nicht gelöscht. Kein Ordner wird mehr synchronisiert. &lt;br/&gt;&lt;br/&gt;Möchten Sie die Liste der synchronisierten Ordner leeren?</translation>
    </message>
    <message>
        <source>Unable to remove synchronized folders</source>
        <translation>Synchronisierte Ordner können nicht entfernt werden</translation>
    </message>
    <message>
        <source>Failed to remove he following folder from the list of synchronized folders:&lt;br/&gt;&lt;br/&gt;%1</source>
        <translation>Folgende Ordner konnten nicht aus der Liste der synchronisierten Ordner entfernt werden:&lt;br/&gt;&lt;br/&gt;%1</translation>
    </message>
</context>
<context>
    <name>LocalFolderView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>Change local folder...</source>
        <translation>Lokalen Ordner ändern...</translation>
    </message>
    <message>
        <source>Select your local ${APP_NAME} folder</source>
        <translation>Ihren lokalen ${APP_NAME}-Ordner wählen</translation>
    </message>
    <message>
        <source>Duplicate local folder</source>
        <translation>Lokaler Ordner doppelt</translation>
    </message>
    <message>
        <source>You cannot use the same local folder for multiple filesafes. &lt;br/&gt;Please choose different folder.</source>
        <translation>Sie können denselben lokalen Ordner nicht für mehrere Dateisafes verwenden. &lt;br/&gt;Bitte wählen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>Already synchronized folder</source>
        <translation>Bereits synchronisierter Ordner</translation>
    </message>
    <message>
        <source>The selected folder '%1' is already synchronized by another filesafe. &lt;br/&gt;Please choose a different folder.</source>
        <translation>Der gewählte Ordner '%1' wird bereits von einem anderen Dateisafe synchronisiert. &lt;br/&gt;Bitte wählen Sie einen anderen Ordner.</translation>
    </message>
</context>
<context>
    <name>NewFileSafeAvailableDialog</name>
    <message>
        <source>New File Space</source>
        <translation>Neuer Dateibereich</translation>
    </message>
    <message>
        <source>New Team Space available</source>
        <translation>Neuer Team-Space verfügbar</translation>
    </message>
    <message>
        <source>Choose where you would like to store your ${APP_NAME} data. If the folder does not yet exist,
${APP_NAME} will create it for you. You can change these settings later. </source>
        <translation>Wählen Sie, wo Ihre ${APP_NAME}-Daten gespeichert werden sollen. Existiert der Ordner noch nicht,
legt ${APP_NAME} ihn für Sie an. Sie können diese Einstellungen später ändern. </translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>The local folder "%1" &lt;ul&gt;&lt;li&gt;is already synchronized&lt;/li&gt;&lt;li&gt;or contains a folder which is synchronized&lt;/li&gt;&lt;li&gt;or is within a folder which is synchronized&lt;/li&gt;&lt;/ul&gt;with the file safe </source>
        <translation>Der lokale Ordner "%1" &lt;ul&gt;&lt;li&gt;wird bereits synchronisiert&lt;/li&gt;&lt;li&gt;oder enthält einen synchronisierten Ordner&lt;/li&gt;&lt;li&gt;oder liegt in einem synchronisierten Ordner&lt;/li&gt;&lt;/ul&gt;mit dem Dateisafe </translation>
    </message>
    <message>
        <source>&lt;b&gt;"%1"&lt;/b&gt; used by &lt;b&gt;yourself&lt;/b&gt;. </source>
        <translation>&lt;b&gt;"%1"&lt;/b&gt;, den &lt;b&gt;Sie selbst&lt;/b&gt; verwenden. </translation>
    </message>
    <message>
        <source>&lt;b&gt;"%1"&lt;/b&gt; used by ${APP_NAME} user &lt;b&gt;"%2"&lt;/b&gt;. </source>
        <translation>&lt;b&gt;"%1"&lt;/b&gt; des ${APP_NAME}-Benutzers &lt;b&gt;"%2"&lt;/b&gt;. </translation>
    </message>
    <message>
        <source>&lt;br/&gt;&lt;br/&gt;Do you want to replace that synchronization setting?</source>
        <translation>&lt;br/&gt;&lt;br/&gt;Möchten Sie diese Synchronisationseinstellung ersetzen?</translation>
    </message>
    <message>
        <source>&lt;br/&gt;&lt;br/&gt;Please choose a different folder.</source>
        <translation>&lt;br/&gt;&lt;br/&gt;Bitte wählen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>Folder already used!</source>
        <translation>Ordner bereits verwendet!</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Failed to remove synchronization setting for filesafe "%1"</source>
        <translation>Die Synchronisationseinstellung für den Dateisafe "%1" konnte nicht entfernt werden</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>The local folder does not exist:&lt;br/&gt;    %1&lt;br/&gt;&lt;br/&gt;Create it?</source>
        <translation>Der lokale Ordner existiert nicht:&lt;br/&gt;    %1&lt;br/&gt;&lt;br/&gt;Anlegen?</translation>
    </message>
    <message>
        <source>Cannot create folder:&lt;br/&gt;%1</source>
        <translation>Ordner kann nicht angelegt werden:&lt;br/&gt;%1</translation>
    </message>
    <message>
        <source>Folder already synchronized</source>
        <translation>Ordner bereits synchronisiert</translation>
    </message>
</context>
<context>
    <name>RemoteFolderDialog</name>
    <message>
        <source>Select Remote Folder</source>
        <translation>Ordner im Safe wählen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Create Folder</source>
        <translation>Ordner anlegen</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Folder name</source>
        <translation>Ordnername</translation>
    </message>
    <message>
        <source>New folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <source>Folder creation</source>
        <translation>Ordner anlegen</translation>
    </message>
    <message>
        <source>Folder could not been created.</source>
        <translation>Der Ordner konnte nicht angelegt werden.</translation>
    </message>
</context>
<context>
    <name>SettingsSyncSettingView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>Local folder does not exist anymore</source>
        <translation>Der lokale Ordner existiert nicht mehr</translation>
    </message>
    <message>
        <source>Insufficient permissions</source>
        <translation>Unzureichende Berechtigungen</translation>
    </message>
    <message>
        <source>${APP_NAME} space is expired.</source>
        <translation>Der ${APP_NAME}-Bereich ist abgelaufen.</translation>
    </message>
    <message>
        <source>${APP_NAME} space does not exist anymore.</source>
        <translation>Der ${APP_NAME}-Bereich existiert nicht mehr.</translation>
    </message>
    <message>
        <source>Get remote status ...</source>
        <translation>Entfernten Status abrufen ...</translation>
    </message>
    <message>
        <source>Collect status info ...</source>
        <translation>Statusinformationen sammeln ...</translation>
    </message>
    <message>
        <source>Build sync actions ...</source>
        <translation>Synchronisationsschritte planen ...</translation>
    </message>
    <message>
        <source>Process sync actions ...</source>
        <translation>Synchronisationsschritte ausführen ...</translation>
    </message>
    <message>
        <source>Process sync actions ... (%1%)</source>
        <translation>Synchronisationsschritte ausführen ... (%1%)</translation>
    </message>
</context>
<context>
    <name>SyncFileSafeView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>Space does not exist anymore.</source>
        <translation>Der Bereich existiert nicht mehr.</translation>
    </message>
</context>
<context>
    <name>SyncHistoryView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>from</source>
        <translation>von</translation>
    </message>
    <message>
        <source>d.M.yyyy H:mm</source>
        <translation>d.M.yyyy H:mm</translation>
    </message>
    <message>
        <source>to</source>
        <translation>bis</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Cancel Sync</source>
        <translation>Synchronisation abbrechen</translation>
    </message>
    <message>
        <source>Sync All</source>
        <translation>Alle synchronisieren</translation>
    </message>
    <message>
        <source>Copy path to clipboard</source>
        <translation>Pfad in die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Show '%1' in File Manager</source>
        <translation>'%1' im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Show today's activities</source>
        <translation>Heutige Aktivitäten zeigen</translation>
    </message>
    <message>
        <source>Show yesterday's activities</source>
        <translation>Gestrige Aktivitäten zeigen</translation>
    </message>
    <message>
        <source>Show last hour's activities</source>
        <translation>Aktivitäten der letzten Stunde zeigen</translation>
    </message>
    <message>
        <source>Show activities</source>
        <translation>Aktivitäten zeigen</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>Action</source>
        <translation>Aktion</translation>
    </message>
    <message>
        <source>Safe: Item</source>
        <translation>Safe: Eintrag</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Date/Time</source>
        <translation>Datum/Uhrzeit</translation>
    </message>
</context>
<context>
    <name>WizardView</name>
    <message>
        <source>&lt;p&gt;&lt;span style=" font-size:18pt; font-weight:600;"&gt;Your ${APP_NAME} is now on your computer&lt;/span&gt;&lt;/p&gt;&lt;p&gt;The ${APP_NAME} client makes it easy to access all your ${APP_NAME} data at any time. You can even choose which files should be synchronized and which should not.&lt;/p&gt;&lt;p&gt;Synchronized files and folders are stored on your computer and each change you make to them is (automatically) synchronized to your ${APP_NAME}. Folders that have been synchronized by the client software have a folder icon containing the ${APP_NAME} shield.&lt;/p&gt;&lt;p align="center"&gt;&lt;img src=":/res/wizard/wiz_page1_marked_folders.png"/&gt;&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;span style=" font-size:18pt; font-weight:600;"&gt;Ihr ${APP_NAME} ist jetzt auf Ihrem Computer&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Mit dem ${APP_NAME}-Client haben Sie jederzeit einfachen Zugriff auf alle Ihre ${APP_NAME}-Daten. Sie können sogar wählen, welche Dateien synchronisiert werden und welche nicht.&lt;/p&gt;&lt;p&gt;Synchronisierte Dateien und Ordner liegen auf Ihrem Computer, und jede Änderung daran wird (automatisch) mit Ihrem ${APP_NAME} synchronisiert. Vom Client synchronisierte Ordner tragen ein Ordnersymbol mit dem ${APP_NAME}-Schild.&lt;/p&gt;&lt;p align="center"&gt;&lt;img src=":/res/wizard/wiz_page1_marked_folders.png"/&gt;&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;span style=" font-size:18px; font-weight:600;"&gt;Set up synchronized folders&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Choose below which data you want to synchronize and where you would like to store them (as shown below). If a local folder does not exist on your computer, ${APP_NAME} will automatically create it for you. Note: if you deselect a folder, then this folder will not be synchronized on your computer. This means that no corresponding folder will be created on your computer and the contents of that ${APP_NAME} space will not be available.&lt;/p&gt;&lt;p&gt;You can change these settings at any time using the "Synchronized Folders" tab.&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;span style=" font-size:18px; font-weight:600;"&gt;Synchronisierte Ordner einrichten&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Wählen Sie unten, welche Daten Sie synchronisieren möchten und wo sie gespeichert werden sollen. Existiert ein lokaler Ordner noch nicht, legt ${APP_NAME} ihn für Sie an. Hinweis: Wählen Sie einen Ordner ab, wird er auf Ihrem Computer nicht synchronisiert. Es wird dann kein entsprechender Ordner angelegt, und der Inhalt dieses ${APP_NAME}-Bereichs ist nicht verfügbar.&lt;/p&gt;&lt;p&gt;Sie können diese Einstellungen jederzeit im Reiter "Synchronisierte Ordner" ändern.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Synchronize automatically</source>
        <translation>Automatisch synchronisieren</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;span style=" font-size:18pt; font-weight:600;"&gt;The ${APP_NAME} at a glance&lt;/span&gt;&lt;/p&gt;&lt;p&gt;You can access the ${APP_NAME} client at any time by clicking on the icon in the dock. You do not need to open the ${APP_NAME} dialog box but can instead work directly on your files and ${APP_NAME} will automatically synchronize them in the background.&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page3_menubar_icon.png"/&gt;&lt;/p&gt;&lt;p&gt;In the "Synchronized Folders" tab, you can add or remove synchronized folders. If you no longer want a folder to be synchronized you need to delete it here before you delete it on your computer. Otherwise the data in your ${APP_NAME} will also be deleted.&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page3_tab_settings.png"/&gt;&lt;/p&gt;&lt;p&gt;In the "Activity" screen, you can see any change that has been made in your ${APP_NAME} or on your computer. Double-click on an entry to directly open the file.&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page3_tab_activity.png"/&gt;&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;span style=" font-size:18pt; font-weight:600;"&gt;${APP_NAME} auf einen Blick&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Sie erreichen den ${APP_NAME}-Client jederzeit über sein Symbol. Sie müssen das ${APP_NAME}-Fenster nicht öffnen, sondern können direkt mit Ihren Dateien arbeiten; ${APP_NAME} synchronisiert sie automatisch im Hintergrund.&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page3_menubar_icon.png"/&gt;&lt;/p&gt;&lt;p&gt;Im Reiter "Synchronisierte Ordner" fügen Sie synchronisierte Ordner hinzu oder entfernen sie. Soll ein Ordner nicht mehr synchronisiert werden, entfernen Sie ihn hier, bevor Sie ihn auf Ihrem Computer löschen. Sonst werden auch die Daten in Ihrem ${APP_NAME} gelöscht.&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page3_tab_settings.png"/&gt;&lt;/p&gt;&lt;p&gt;Unter "Aktivität" sehen Sie jede Änderung in Ihrem ${APP_NAME} oder auf Ihrem Computer. Ein Doppelklick auf einen Eintrag zeigt die Datei.&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page3_tab_activity.png"/&gt;&lt;/p&gt;</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;span style=" font-size:18pt; font-weight:600;"&gt;Introducing the new Password Safe&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Now you can access all your password in a safe way using this client software. This means that you don't need to login anymore via web-browser everytime you need a password, its just here, one click away&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page4_pwdsafe_view.png"/&gt;&lt;/p&gt;&lt;p&gt;From the new "Password Safe" screen, you can now copy a username, or a  password, and open web-pages directly. You can search against all field (even passwords!) and create, edit and delete passwords!&lt;/p&gt;&lt;p&gt;Since we take security very serious, the passwords are never on your computer (not even encrypted), everytime you copy one password we automatically retrieve it from the ${APP_NAME} server (encrypted) and decrypt it on the fly. Furthermore the password will only stay a short time in your clip-board, we added a cleanup timer that will delete the clip-board after x seconds.&lt;/p&gt;&lt;p&gt;If you prefer not to use this feature, you can disable the Password Safe in the "Settings" tab.&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;span style=" font-size:18pt; font-weight:600;"&gt;Der neue Passwort-Safe&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Jetzt erreichen Sie alle Ihre Passwörter sicher über diesen Client. Sie müssen sich nicht mehr jedes Mal im Webbrowser anmelden, wenn Sie ein Passwort brauchen: Es ist hier, nur einen Klick entfernt&lt;/p&gt;&lt;p&gt;&lt;img src=":/res/wizard/wiz_page4_pwdsafe_view.png"/&gt;&lt;/p&gt;&lt;p&gt;Im neuen Bereich "Passwort-Safe" kopieren Sie einen Benutzernamen oder ein Passwort und öffnen Webseiten direkt. Sie können in allen Feldern suchen (sogar in Passwörtern!) und Passwörter anlegen, bearbeiten und löschen!&lt;/p&gt;&lt;p&gt;Weil wir Sicherheit sehr ernst nehmen, liegen die Passwörter nie auf Ihrem Computer (nicht einmal verschlüsselt): Bei jedem Kopieren holen wir das Passwort verschlüsselt vom ${APP_NAME}-Server und entschlüsseln es sofort. Außerdem bleibt das Passwort nur kurz in der Zwischenablage; sie wird nach einigen Sekunden geleert.&lt;/p&gt;&lt;p&gt;Möchten Sie diese Funktion nicht nutzen, schalten Sie den Passwort-Safe im Reiter "Einstellungen" aus.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 von %2</translation>
    </message>
</context>
</TS>