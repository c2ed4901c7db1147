<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
    <name>FileSyncSettingsView</name>
    <message>
        <source>Frame</source>
        <translation>Rahmen</translation>
    </message>
    <message>
        <source>Create or add a folder to the list of folders to be synchronized ...</source>
        <translation>Einen Ordner anlegen oder zur Liste der synchronisierten Ordner hinzufügen ...</translation>
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
    <name>ActivityProgressBarView</name>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
</context>
</TS>
