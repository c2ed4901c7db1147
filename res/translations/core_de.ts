<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE">
  <context>
    <name />
    <message>
      <source>This sentence is in English.</source>
      <translation>Dieser Satz ist auf Deutsch.</translation>
    </message>
  </context>
  <context>
    <name>QObject</name>
    <message>
      <source>SSL required</source>
      <translation>SSL erforderlich</translation>
    </message>
    <message>
      <source>Failed to start ${APP_NAME}:&lt;br/&gt;This system does not support OpenSSL.</source>
      <translation>${APP_NAME} konnte nicht gestartet werden:&lt;br/&gt;Dieses System unterstützt OpenSSL nicht.</translation>
    </message>
  </context>
  <context>
    <name>R7Application</name>
    <message>
      <source>Error</source>
      <translation>Fehler</translation>
    </message>
    <message>
      <source>Unable to open database (%1)</source>
      <translation>Die Datenbank kann nicht geöffnet werden (%1)</translation>
    </message>
    <message>
      <source>Incompatible database version

(current:'%1', expected:'%2')</source>
      <translation>Inkompatible Datenbankversion

(aktuell:'%1', erwartet:'%2')</translation>
    </message>
    <message>
      <source>SQL query failure. (%1)</source>
      <translation>Fehler bei einer SQL-Abfrage. (%1)</translation>
    </message>
    <message>
      <source>Loading initial filesafe list</source>
      <translation>Liste der Safes wird geladen</translation>
    </message>
    <message>
      <source>Network Problem</source>
      <translation>Netzwerkproblem</translation>
    </message>
    <message>
      <source>Failed to connect to server. 
(HTTP Authentication required)</source>
      <translation>Verbindung zum Server fehlgeschlagen. 
(HTTP-Authentifizierung erforderlich)</translation>
    </message>
    <message>
      <source>The web proxy server '%1' (port: %2 type: %3) requires authentication.</source>
      <translation>Der Web-Proxy-Server '%1' (Port: %2 Typ: %3) verlangt eine Anmeldung.</translation>
    </message>
    <message>
      <source>Up to date (%1 errors)</source>
      <translation>Aktuell (%1 Fehler)</translation>
    </message>
    <message>
      <source>&lt;p&gt;&lt;b&gt;If you proceed with this synchronisation, you will delete %1 of the files in your online safe '%2'. This may happen because you unintentionally &lt;ul&gt;&lt;li&gt;deleted these files from your computer&lt;/li&gt;&lt;li&gt;renamed a synced folder containing a large amount of files&lt;/li&gt;&lt;li&gt;moved a synced folder containing a large amount of files&lt;/li&gt;&lt;/ul&gt;&lt;/b&gt;&lt;/p&gt;&lt;p&gt;If you rename or move a synced folder, the sync client will proceed to delete all files in it and then upload these to the new location. You will find more information about how to move or rename synced folders on our &lt;a href=%3&gt;website&lt;/a&gt;.&lt;/p&gt;&lt;p&gt;Are you sure that you want to proceed with the synchronisation and delete %1 of your '%2' files?&lt;/p&gt;</source>
      <translation>&lt;p&gt;&lt;b&gt;Wenn Sie mit dieser Synchronisation fortfahren, löschen Sie %1 der Dateien in Ihrem Online-Safe '%2'. Das kann passieren, wenn Sie unbeabsichtigt &lt;ul&gt;&lt;li&gt;diese Dateien auf Ihrem Computer gelöscht&lt;/li&gt;&lt;li&gt;einen synchronisierten Ordner mit vielen Dateien umbenannt&lt;/li&gt;&lt;li&gt;einen synchronisierten Ordner mit vielen Dateien verschoben&lt;/li&gt;&lt;/ul&gt; haben.&lt;/b&gt;&lt;/p&gt;&lt;p&gt;Wenn Sie einen synchronisierten Ordner umbenennen oder verschieben, löscht der Sync-Client alle Dateien darin und lädt sie am neuen Ort wieder hoch. Mehr dazu, wie Sie synchronisierte Ordner verschieben oder umbenennen, finden Sie auf unserer &lt;a href=%3&gt;Website&lt;/a&gt;.&lt;/p&gt;&lt;p&gt;Möchten Sie die Synchronisation wirklich fortsetzen und %1 Ihrer '%2'-Dateien löschen?&lt;/p&gt;</translation>
    </message>
    <message>
      <source>About to delete a large amount of files</source>
      <translation>Viele Dateien werden gelöscht</translation>
    </message>
    <message>
      <source>Do not show this dialog in the future</source>
      <translation>Diesen Dialog nicht mehr anzeigen</translation>
    </message>
    <message>
      <source>Check version</source>
      <translation>Version wird geprüft</translation>
    </message>
    <message>
      <source>Failed to connect%1</source>
      <translation>Verbindung fehlgeschlagen%1</translation>
    </message>
    <message>
      <source>Client version is up to date</source>
      <translation>Die Client-Version ist aktuell</translation>
    </message>
    <message>
      <source>&lt;b&gt;A new version of the ${APP_NAME} desktop client is available!&lt;/b&gt;&lt;br/&gt;&lt;br/&gt;${APP_NAME} %1 is now available - your ${APP_NAME} version ${APP_VERSION} is not supported anymore.&lt;br/&gt;&lt;br/&gt;Please download the new version.</source>
      <translation>&lt;b&gt;Eine neue Version des ${APP_NAME} Desktop-Clients ist verfügbar!&lt;/b&gt;&lt;br/&gt;&lt;br/&gt;${APP_NAME} %1 ist jetzt verfügbar - Ihre ${APP_NAME} Version ${APP_VERSION} wird nicht mehr unterstützt.&lt;br/&gt;&lt;br/&gt;Bitte laden Sie die neue Version herunter.</translation>
    </message>
    <message>
      <source>&lt;b&gt;A new version of the ${APP_NAME} desktop client is available!&lt;/b&gt;&lt;br/&gt;&lt;br/&gt;${APP_NAME} %1 is now available - you have ${APP_VERSION}.&lt;br/&gt;&lt;br/&gt;Would you like to download it now?</source>
      <translation>&lt;b&gt;Eine neue Version des ${APP_NAME} Desktop-Clients ist verfügbar!&lt;/b&gt;&lt;br/&gt;&lt;br/&gt;${APP_NAME} %1 ist jetzt verfügbar - Sie haben ${APP_VERSION}.&lt;br/&gt;&lt;br/&gt;Möchten Sie sie jetzt herunterladen?</translation>
    </message>
    <message>
      <source>Show ${APP_NAME}</source>
      <translation>${APP_NAME} anzeigen</translation>
    </message>
    <message>
      <location filename="../work/wt/i15/core/R7Application.cpp" line="1560" />
      <source>About ${APP_NAME}</source>
      <translation>Über ${APP_NAME}</translation>
    </message>
    <message>
      <location filename="../work/wt/i15/core/R7Application.cpp" line="1560" />
      <source>${APP_NAME} ${APP_VERSION} ${APP_DEVSTAGE}</source>
      <translation>${APP_NAME} ${APP_VERSION} ${APP_DEVSTAGE}</translation>
    </message>
    <message>
      <source>Login</source>
      <translation>Anmelden</translation>
    </message>
    <message>
      <source>Logout</source>
      <translation>Abmelden</translation>
    </message>
    <message>
      <source>Sync All</source>
      <translation>Alle synchronisieren</translation>
    </message>
    <message>
      <source>Cancel Sync</source>
      <translation>Synchronisation abbrechen</translation>
    </message>
    <message>
      <source>Settings</source>
      <translation>Einstellungen</translation>
    </message>
    <message>
      <source>File Sync Activities</source>
      <translation>Synchronisationsaktivitäten</translation>
    </message>
    <message>
      <source>Show Log</source>
      <translation>Protokoll anzeigen</translation>
    </message>
    <message>
      <source>Help</source>
      <translation>Hilfe</translation>
    </message>
    <message>
      <source>Quit ${APP_NAME}</source>
      <translation>${APP_NAME} beenden</translation>
    </message>
    <message>
      <source>Switch to Mode: Normal</source>
      <translation>Wechseln in Modus: Normal</translation>
    </message>
    <message>
      <source>Switch to Mode: Debug</source>
      <translation>Wechseln in Modus: Debug</translation>
    </message>
    <message>
      <source>Password Safe</source>
      <translation>Passwort-Safe</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <comment>the 'File' menu name for Windows (DE: Datei)</comment>
      <translation>&amp;Datei</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <comment>the 'File' menu name for OSX (DE: Ablage)</comment>
      <translation>&amp;Ablage</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <comment>the 'File' menu name for other OSes</comment>
      <translation>&amp;Datei</translation>
    </message>
    <message>
      <source>&amp;Help</source>
      <translation>&amp;Hilfe</translation>
    </message>
    <message>
      <source>Syncing ...</source>
      <translation>Synchronisiere ...</translation>
    </message>
    <message>
      <source>Synchronisation with errors</source>
      <translation>Synchronisation mit Fehlern</translation>
    </message>
    <message>
      <source>Synchronisation successful</source>
      <translation>Synchronisation erfolgreich</translation>
    </message>
    <message numerus="yes">
      <source>%n change(s) in your ${APP_NAME}</source>
      <translation>
        <numerusform>%n Änderung in Ihrem ${APP_NAME}</numerusform>
        <numerusform>%n Änderungen in Ihrem ${APP_NAME}</numerusform>
      </translation>
    </message>
    <message>
      <source>Info</source>
      <translation>Info</translation>
    </message>
    <message>
      <source>Already logged in</source>
      <translation>Bereits angemeldet</translation>
    </message>
    <message>
      <source>${URL_HELP}</source>
      <translation>${URL_HELP_DE}</translation>
    </message>
    <message>
      <source>Crash report</source>
      <translation>Absturzbericht</translation>
    </message>
    <message>
      <source>${APP_NAME} ended unexpectedly. The crash reports are in %1.</source>
      <translation>${APP_NAME} wurde unerwartet beendet. Die Absturzberichte liegen in %1.</translation>
    </message>
    <message>
      <location filename="../work/wt/i15/core/R7Application.cpp" line="1626" />
      <location filename="../work/wt/i15/core/R7Application.cpp" line="1650" />
      <source>${APP_NAME}</source>
      <translation>${APP_NAME}</translation>
    </message>
    <message>
      <source>Not Online</source>
      <translation>Nicht online</translation>
    </message>
    <message>
      <source>Your session has been terminated due to inactivity or because your internet connection is down.
Please log in again.</source>
      <translation>Ihre Sitzung wurde wegen Inaktivität oder einer unterbrochenen Internetverbindung beendet.
Bitte melden Sie sich erneut an.</translation>
    </message>
    <message>
      <source>Synchronization failed: There is not enough free space in your ${APP_NAME} '%1'. Please delete some documents or upgrade your ${APP_NAME}.</source>
      <translation>Synchronisation fehlgeschlagen: In Ihrem ${APP_NAME} '%1' ist nicht genug Speicherplatz frei. Bitte löschen Sie einige Dokumente oder erweitern Sie Ihr ${APP_NAME}.</translation>
    </message>
    <message>
      <source>New file safes are available: %1</source>
      <translation>Neue Safes sind verfügbar: %1</translation>
    </message>
  </context>
</TS>