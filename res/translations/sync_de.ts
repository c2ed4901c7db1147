<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>MultiSyncher</name>
    <message>
        <source>Synchronisation stopped: one side is empty while %1 files were synchronised</source>
        <translation>Synchronisation angehalten: Eine Seite ist leer, während %1 Dateien synchronisiert waren</translation>
    </message>
</context>
<context>
    <name>SyncAction</name>
    <message>
        <source>undefined</source>
        <translation>undefiniert</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>resolve</source>
        <translation>auflösen</translation>
    </message>
    <message>
        <source>create local folder</source>
        <translation>lokalen Ordner erstellen</translation>
    </message>
    <message>
        <source>create remote folder</source>
        <translation>entfernten Ordner erstellen</translation>
    </message>
    <message>
        <source>download</source>
        <translation>herunterladen</translation>
    </message>
    <message>
        <source>upload</source>
        <translation>hochladen</translation>
    </message>
    <message>
        <source>delete local file</source>
        <translation>lokale Datei löschen</translation>
    </message>
    <message>
        <source>delete remote file</source>
        <translation>entfernte Datei löschen</translation>
    </message>
    <message>
        <source>delete local folder</source>
        <translation>lokalen Ordner löschen</translation>
    </message>
    <message>
        <source>delete remote folder</source>
        <translation>entfernten Ordner löschen</translation>
    </message>
    <message>
        <source>backup then download</source>
        <translation>sichern, dann herunterladen</translation>
    </message>
    <message>
        <source>invalid [%1]</source>
        <translation>ungültig [%1]</translation>
    </message>
    <message>
        <source>Undefined</source>
        <translation>Undefiniert</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>To do</source>
        <translation>Ausstehend</translation>
    </message>
    <message>
        <source>Syncing</source>
        <translation>Synchronisiert gerade</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Skipped</source>
        <translation>Übersprungen</translation>
    </message>
    <message>
        <source>Resolved</source>
        <translation>Aufgelöst</translation>
    </message>
    <message>
        <source>Checksum error</source>
        <translation>Prüfsummenfehler</translation>
    </message>
    <message>
        <source>Internal error</source>
        <translation>Interner Fehler</translation>
    </message>
    <message>
        <source>Type mismatch</source>
        <translation>Typkonflikt</translation>
    </message>
    <message>
        <source>Invalid name</source>
        <translation>Ungültiger Name</translation>
    </message>
    <message>
        <source>Attribute error</source>
        <translation>Attributfehler</translation>
    </message>
    <message>
        <source>Attribute conflict</source>
        <translation>Attributkonflikt</translation>
    </message>
    <message>
        <source>Name too long</source>
        <translation>Name zu lang</translation>
    </message>
    <message>
        <source>Settings Error</source>
        <translation>Einstellungsfehler</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Quota exceeded</source>
        <translation>Speicherplatz überschritten</translation>
    </message>
    <message>
        <source>Not allowed</source>
        <translation>Nicht erlaubt</translation>
    </message>
    <message>
        <source>Network error</source>
        <translation>Netzwerkfehler</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>The syncronization status of this file or folder is undefined.</source>
        <translation>Der Synchronisationsstatus dieser Datei oder dieses Ordners ist undefiniert.</translation>
    </message>
    <message>
        <source>Synchronization of this file or folder was successful.</source>
        <translation>Diese Datei oder dieser Ordner wurde erfolgreich synchronisiert.</translation>
    </message>
    <message>
        <source>This file or folder needs to be synchronized.</source>
        <translation>Diese Datei oder dieser Ordner muss synchronisiert werden.</translation>
    </message>
    <message>
        <source>Synchronizing...</source>
        <translation>Synchronisiert...</translation>
    </message>
    <message>
        <source>The file or folder will not be synchronized.</source>
        <translation>Die Datei oder der Ordner wird nicht synchronisiert.</translation>
    </message>
    <message>
        <source>The file or folder will not be synchronized because its name contains a problematic character.</source>
        <translation>Die Datei oder der Ordner wird nicht synchronisiert, weil der Name ein problematisches Zeichen enthält.</translation>
    </message>
    <message>
        <source>The file will not be synchronized because its name is too long. Maximum length is %1 characters.</source>
        <translation>Die Datei wird nicht synchronisiert, weil ihr Name zu lang ist. Die maximale Länge ist %1 Zeichen.</translation>
    </message>
    <message>
        <source>The folder will not be synchronized because its name is too long. Maximum length is %1 characters.</source>
        <translation>Der Ordner wird nicht synchronisiert, weil sein Name zu lang ist. Die maximale Länge ist %1 Zeichen.</translation>
    </message>
    <message>
        <source>Possible conflict detected. A backup-copy of your local file marked 'conflicted copy' has been created and stored in the same folder. To resolve the conflict, please check the two files.</source>
        <translation>Möglicher Konflikt erkannt. Eine Sicherungskopie Ihrer lokalen Datei mit der Kennzeichnung 'conflicted copy' wurde im selben Ordner abgelegt. Bitte prüfen Sie die beiden Dateien, um den Konflikt aufzulösen.</translation>
    </message>
    <message>
        <source>Failed to read the checksum of the remote file.</source>
        <translation>Die Prüfsumme der entfernten Datei konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>An internal error has occurred.</source>
        <translation>Ein interner Fehler ist aufgetreten.</translation>
    </message>
    <message>
        <source>A file cannot be synchronized with a folder.</source>
        <translation>Eine Datei kann nicht mit einem Ordner synchronisiert werden.</translation>
    </message>
    <message>
        <source>Failed to calculate the checksum of the local file.</source>
        <translation>Die Prüfsumme der lokalen Datei konnte nicht berechnet werden.</translation>
    </message>
    <message>
        <source>The file name is invalid. It might contain illegal characters.</source>
        <translation>Der Dateiname ist ungültig. Er enthält möglicherweise unzulässige Zeichen.</translation>
    </message>
    <message>
        <source>The folder name is invalid. It might contain illegal characters.</source>
        <translation>Der Ordnername ist ungültig. Er enthält möglicherweise unzulässige Zeichen.</translation>
    </message>
    <message>
        <source>Failed to read the local file's last modification time.</source>
        <translation>Die letzte Änderungszeit der lokalen Datei konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Failed to read the remote file's last modification time.</source>
        <translation>Die letzte Änderungszeit der entfernten Datei konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Failed to get the local file's modification time.</source>
        <translation>Die Änderungszeit der lokalen Datei konnte nicht ermittelt werden.</translation>
    </message>
    <message>
        <source>Failed to get the remote file's modification time.</source>
        <translation>Die Änderungszeit der entfernten Datei konnte nicht ermittelt werden.</translation>
    </message>
    <message>
        <source>Conflict: Cannot decide how to synchronize this file.</source>
        <translation>Konflikt: Es lässt sich nicht entscheiden, wie diese Datei synchronisiert werden soll.</translation>
    </message>
    <message>
        <source>The file name is too long. Maximum length is %1 characters.</source>
        <translation>Der Dateiname ist zu lang. Die maximale Länge ist %1 Zeichen.</translation>
    </message>
    <message>
        <source>The folder name is too long. Maximum length is %1 characters.</source>
        <translation>Der Ordnername ist zu lang. Die maximale Länge ist %1 Zeichen.</translation>
    </message>
    <message>
        <source>The file or folder is not in a sychronized folder. Please check the sync settings.</source>
        <translation>Die Datei oder der Ordner liegt nicht in einem synchronisierten Ordner. Bitte prüfen Sie die Synchronisationseinstellungen.</translation>
    </message>
    <message>
        <source>File is too big to synchronize. Maximum size is %1 MB.</source>
        <translation>Die Datei ist zu groß zum Synchronisieren. Die maximale Größe ist %1 MB.</translation>
    </message>
    <message>
        <source>Failed to create the folder.</source>
        <translation>Der Ordner konnte nicht erstellt werden.</translation>
    </message>
    <message>
        <source>Failed to delete the folder.</source>
        <translation>Der Ordner konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>The folder already exists.</source>
        <translation>Der Ordner existiert bereits.</translation>
    </message>
    <message>
        <source>The folder is missing.</source>
        <translation>Der Ordner fehlt.</translation>
    </message>
    <message>
        <source>The parent folder is missing.</source>
        <translation>Der übergeordnete Ordner fehlt.</translation>
    </message>
    <message>
        <source>Failed to create the remote folder.</source>
        <translation>Der entfernte Ordner konnte nicht erstellt werden.</translation>
    </message>
    <message>
        <source>Failed to delete the remote folder.</source>
        <translation>Der entfernte Ordner konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Failed to upload the file.</source>
        <translation>Die Datei konnte nicht hochgeladen werden.</translation>
    </message>
    <message>
        <source>Failed to update the file.</source>
        <translation>Die Datei konnte nicht aktualisiert werden.</translation>
    </message>
    <message>
        <source>Failed to download the file.</source>
        <translation>Die Datei konnte nicht heruntergeladen werden.</translation>
    </message>
    <message>
        <source>Failed to delete the file.</source>
        <translation>Die Datei konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Failed to backup the file.</source>
        <translation>Die Datei konnte nicht gesichert werden.</translation>
    </message>
    <message>
        <source>The file already exists.</source>
        <translation>Die Datei existiert bereits.</translation>
    </message>
    <message>
        <source>The file is missing.</source>
        <translation>Die Datei fehlt.</translation>
    </message>
    <message>
        <source>Failed to read file.</source>
        <translation>Die Datei konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Failed to delete the remote file.</source>
        <translation>Die entfernte Datei konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>Failed to delete the local file.</source>
        <translation>Die lokale Datei konnte nicht gelöscht werden.</translation>
    </message>
    <message>
        <source>This operation would exceed the available storage quota.</source>
        <translation>Dieser Vorgang würde den verfügbaren Speicherplatz überschreiten.</translation>
    </message>
    <message>
        <source>The remote destination filesafe does not exist.</source>
        <translation>Der entfernte Ziel-Datei-Safe existiert nicht.</translation>
    </message>
    <message>
        <source>The remote destination folder does not exist.</source>
        <translation>Der entfernte Zielordner existiert nicht.</translation>
    </message>
    <message>
        <source>Download the file is not allowed.</source>
        <translation>Das Herunterladen der Datei ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Upload the file is not allowed.</source>
        <translation>Das Hochladen der Datei ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Update the file is not allowed.</source>
        <translation>Das Aktualisieren der Datei ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Delete the remote file is not allowed.</source>
        <translation>Das Löschen der entfernten Datei ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Create the remote folder is not allowed.</source>
        <translation>Das Erstellen des entfernten Ordners ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Delete the remote folder is not allowed.</source>
        <translation>Das Löschen des entfernten Ordners ist nicht erlaubt.</translation>
    </message>
    <message>
        <source>Failed to get file and folder list.</source>
        <translation>Die Liste der Dateien und Ordner konnte nicht abgerufen werden.</translation>
    </message>
    <message>
        <source>An network error has occurred.</source>
        <translation>Ein Netzwerkfehler ist aufgetreten.</translation>
    </message>
    <message>
        <source>An error has occurred.</source>
        <translation>Ein Fehler ist aufgetreten.</translation>
    </message>
    <message>
        <source>Unexpected error [code: %1]</source>
        <translation>Unerwarteter Fehler [Code: %1]</translation>
    </message>
    <message>
        <source>${APP_BASE_URL}/en/faq/questions-about-sync-client/file-not-syncing</source>
        <translation>${APP_BASE_URL}/de/faq/questions-about-sync-client/file-not-syncing</translation>
    </message>
    <message>
        <source>${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/</source>
        <translation>${APP_BASE_URL}/de/faq/acct-mgmt/upgrade/</translation>
    </message>
</context>
<context>
    <name>SyncSetting</name>
    <message>
        <source>Administrator</source>
        <translation>Administrator</translation>
    </message>
    <message>
        <source>Editor</source>
        <translation>Bearbeiter</translation>
    </message>
    <message>
        <source>Restricted Viewer</source>
        <translation>Eingeschränkter Betrachter</translation>
    </message>
    <message>
        <source>Viewer</source>
        <translation>Betrachter</translation>
    </message>
</context>
</TS>
