<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About ${APP_NAME}</source>
        <comment>s</comment>
        <translation>Über ${APP_NAME}</translation>
    </message>
    <message>
        <source>Version: ${APP_VERSION} ${APP_DEVSTAGE}
      Built: ${BUILD_DATE} ${BUILD_TIME}
      Build: ${APP_REV}</source>
        <translation>Version: ${APP_VERSION} ${APP_DEVSTAGE}
      Erstellt: ${BUILD_DATE} ${BUILD_TIME}
      Build: ${APP_REV}</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>CrashReportDialog</name>
    <message>
        <source>Crash detected</source>
        <translation>Absturz erkannt</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Your last ${APP_NAME} session quit unexpectedly. Do you want to send us the crash report to help us improving ${APP_NAME}? The crash report does not contain any personal data from your ${APP_NAME}.

If you click "YES", you will be forwarded to the crash report. Please send us the file ending in ".dmp" by e-mail to </source>
        <translation>Ihre letzte ${APP_NAME}-Sitzung wurde unerwartet beendet. Möchten Sie uns den Absturzbericht senden, um ${APP_NAME} zu verbessern? Der Absturzbericht enthält keine persönlichen Daten aus Ihrem ${APP_NAME}.

Wenn Sie auf "JA" klicken, wird Ihnen der Absturzbericht gezeigt. Bitte senden Sie uns die Datei mit der Endung ".dmp" per E-Mail an </translation>
    </message>
</context>
<context>
    <name>DebugDialog</name>
    <message>
        <source>Debug Settings</source>
        <translation>Debug-Einstellungen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Application Mode:</source>
        <translation>Anwendungsmodus:</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Log Level:</source>
        <translation>Protokollstufe:</translation>
    </message>
    <message>
        <source>Log File:</source>
        <translation>Protokolldatei:</translation>
    </message>
    <message>
        <source>Show Location</source>
        <translation>Ort anzeigen</translation>
    </message>
    <message>
        <source>Log Dialog</source>
        <translation>Protokollfenster</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Communication</source>
        <translation>Kommunikation</translation>
    </message>
    <message>
        <source>Log Traffic</source>
        <translation>Datenverkehr protokollieren</translation>
    </message>
    <message>
        <source>Log the network traffic in detail.</source>
        <translation>Den Netzwerkverkehr ausführlich protokollieren.</translation>
    </message>
    <message>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Select Server:</source>
        <translation>Server wählen:</translation>
    </message>
    <message>
        <source>SSL:</source>
        <translation>SSL:</translation>
    </message>
    <message>
        <source>Ignore SSL Errors</source>
        <translation>SSL-Fehler ignorieren</translation>
    </message>
    <message>
        <source>Connection Test:</source>
        <translation>Verbindungstest:</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Debug</source>
        <translation>Debug</translation>
    </message>
    <message>
        <source>Crash:</source>
        <translation>Absturz:</translation>
    </message>
    <message>
        <source>Crash</source>
        <translation>Absturz</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Set Custom Server URL</source>
        <translation>Eigene Server-Adresse festlegen</translation>
    </message>
    <message>
        <source>Connect to:</source>
        <translation>Verbinden mit:</translation>
    </message>
</context>
<context>
    <name>LogDialog</name>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Location:</source>
        <translation>Ort:</translation>
    </message>
    <message>
        <source>Clear Log</source>
        <translation>Protokoll leeren</translation>
    </message>
    <message>
        <source>Log Level:</source>
        <translation>Protokollstufe:</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Detailed</source>
        <translation>Ausführlich</translation>
    </message>
    <message>
        <source>Warnings and Errors</source>
        <translation>Warnungen und Fehler</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
</context>
<context>
    <name>LoginView</name>
    <message>
        <source>Login</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Signup</source>
        <translation>Registrieren</translation>
    </message>
    <message>
        <source>Username</source>
        <translation>Benutzername</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Caps Lock is on</source>
        <translation>Die Feststelltaste ist aktiviert</translation>
    </message>
    <message>
        <source>Remember Username</source>
        <translation>Benutzernamen merken</translation>
    </message>
    <message>
        <source>Remember Password</source>
        <translation>Passwort merken</translation>
    </message>
    <message>
        <source>Auto Login</source>
        <translation>Automatisch anmelden</translation>
    </message>
    <message>
        <source>Login automatically when ${APP_NAME} starts</source>
        <translation>Beim Start von ${APP_NAME} automatisch anmelden</translation>
    </message>
    <message>
        <source>SMS Code</source>
        <translation>SMS-Code</translation>
    </message>
    <message>
        <source>SMS Ref</source>
        <translation>SMS-Ref.</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Show Character Codes</source>
        <translation>Zeichencodes anzeigen</translation>
    </message>
    <message>
        <source>Show Password</source>
        <translation>Passwort anzeigen</translation>
    </message>
    <message>
        <source>Extended login options</source>
        <translation>Erweiterte Anmeldeoptionen</translation>
    </message>
    <message>
        <source>${URL_HELP}</source>
        <translation>${URL_HELP_DE}</translation>
    </message>
    <message>
        <source>${APP_BASE_URL}/en/signup</source>
        <translation>${APP_BASE_URL}/de/signup</translation>
    </message>
    <message>
        <source>Unable to connect to ${APP_NAME}</source>
        <translation>Keine Verbindung zu ${APP_NAME} möglich</translation>
    </message>
    <message>
        <source>Timeout while contacting ${APP_NAME}</source>
        <translation>Zeitüberschreitung bei der Verbindung zu ${APP_NAME}</translation>
    </message>
    <message>
        <source>Unable to connect to the Internet</source>
        <translation>Keine Verbindung zum Internet möglich</translation>
    </message>
    <message>
        <source>Proxy authentication required</source>
        <translation>Proxy-Anmeldung erforderlich</translation>
    </message>
    <message>
        <source>${APP_NAME} service currently not available &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${URL_HELP}" style="color: black;"&gt;More &amp;gt;&lt;/a&gt;</source>
        <translation>Der Dienst ${APP_NAME} ist derzeit nicht verfügbar &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${URL_HELP_DE}" style="color: black;"&gt;Mehr &amp;gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Client not supported &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/en/sync" style="color: black;"&gt;More &amp;gt;&lt;/a&gt;</source>
        <translation>Client wird nicht unterstützt &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/de/sync" style="color: black;"&gt;Mehr &amp;gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Client outdated &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/en/sync" style="color: black;"&gt;More &amp;gt;&lt;/a&gt;</source>
        <translation>Client veraltet &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/de/sync" style="color: black;"&gt;Mehr &amp;gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Account is expired &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/en/faq/acct-mgmt/end-of-subscription" style="color: black;"&gt;More &amp;gt;&lt;/a&gt;</source>
        <translation>Konto ist abgelaufen &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/de/faq/acct-mgmt/end-of-subscription" style="color: black;"&gt;Mehr &amp;gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Inheritance executed &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/en/faq/inheritance" style="color: black;"&gt;More &amp;gt;&lt;/a&gt;</source>
        <translation>Erbfall ausgeführt &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/de/faq/inheritance" style="color: black;"&gt;Mehr &amp;gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Account locked &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/en/support" style="color: black;"&gt;More &amp;gt;&lt;/a&gt;</source>
        <translation>Konto gesperrt &amp;nbsp;&amp;nbsp;&amp;nbsp;&lt;a href="${APP_BASE_URL}/de/support" style="color: black;"&gt;Mehr &amp;gt;&lt;/a&gt;</translation>
    </message>
    <message>
        <source>Invalid username or password</source>
        <translation>Ungültiger Benutzername oder ungültiges Passwort</translation>
    </message>
    <message>
        <source>Invalid SMS code</source>
        <translation>Ungültiger SMS-Code</translation>
    </message>
    <message>
        <source>Login failed [code: %1]</source>
        <translation>Anmeldung fehlgeschlagen [Code: %1]</translation>
    </message>
    <message>
        <source>SSL</source>
        <translation>SSL</translation>
    </message>
    <message>
        <source>There were problems connecting to '%1' using SSL:

%2

You should not proceed, especially if you have never seen this warning before

Do you want to proceed anyway?</source>
        <translation>Beim Verbinden mit '%1' über SSL traten Probleme auf:

%2

Sie sollten nicht fortfahren, besonders wenn Sie diese Warnung noch nie gesehen haben.

Möchten Sie trotzdem fortfahren?</translation>
    </message>
    <message>
        <source>logged in</source>
        <translation>angemeldet</translation>
    </message>
    <message>
        <source>Login automatically</source>
        <translation>Automatische Anmeldung</translation>
    </message>
</context>
<context>
    <name>MainFileSafeView</name>
    <message>
        <source>Activity</source>
        <translation>Aktivität</translation>
    </message>
    <message>
        <source>Synchronized Folders</source>
        <translation>Synchronisierte Ordner</translation>
    </message>
</context>
<context>
    <name>MainSettingsView</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>General Settings</source>
        <translation>Allgemeine Einstellungen</translation>
    </message>
    <message>
        <source>Start Minimized</source>
        <translation>Minimiert starten</translation>
    </message>
    <message>
        <source>(window is not shown on application start)</source>
        <translation>(das Fenster wird beim Start nicht angezeigt)</translation>
    </message>
    <message>
        <source>Start ${APP_NAME} on System Startup</source>
        <translation>${APP_NAME} beim Systemstart starten</translation>
    </message>
    <message>
        <source>Sync Frequency</source>
        <translation>Synchronisationsintervall</translation>
    </message>
    <message>
        <source>(interval between sync operations)</source>
        <translation>(Abstand zwischen zwei Synchronisationen)</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Password Safe</source>
        <translation>Passwort-Safe</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Time-out until Password Safe locks</source>
        <translation>Zeit bis zur Sperrung des Passwort-Safes</translation>
    </message>
    <message>
        <source>Time-out until Clipboard auto-erases</source>
        <translation>Zeit bis zum Leeren der Zwischenablage</translation>
    </message>
    <message>
        <source>(After password was copied into Clipboard)</source>
        <translation>(nachdem ein Passwort in die Zwischenablage kopiert wurde)</translation>
    </message>
    <message>
        <source>Activated</source>
        <translation>Aktiviert</translation>
    </message>
    <message>
        <source>Disabled</source>
        <translation>Deaktiviert</translation>
    </message>
    <message>
        <source>hours</source>
        <translation>Stunden</translation>
    </message>
    <message>
        <source>hour</source>
        <translation>Stunde</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>Minuten</translation>
    </message>
    <message>
        <source>minute</source>
        <translation>Minute</translation>
    </message>
    <message>
        <source>Never lock automatically</source>
        <translation>Nie automatisch sperren</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>Sekunden</translation>
    </message>
    <message>
        <source>second</source>
        <translation>Sekunde</translation>
    </message>
    <message>
        <source>Logout</source>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>A logout is necessary to %1 Password Safe</source>
        <translation>Um den Passwort-Safe zu %1, ist eine Abmeldung nötig</translation>
    </message>
    <message>
        <source>enable</source>
        <translation>aktivieren</translation>
    </message>
    <message>
        <source>disable</source>
        <translation>deaktivieren</translation>
    </message>
</context>
<context>
    <name>MainView</name>
    <message>
        <source>Password Safe</source>
        <translation>Passwort-Safe</translation>
    </message>
    <message>
        <source>File Safe</source>
        <translation>Datei-Safe</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>[Passwords Page]</source>
        <translation>[Passwords Page]</translation>
    </message>
    <message>
        <source>[Sync Settings Page]</source>
        <translation>[Sync Settings Page]</translation>
    </message>
    <message>
        <source>[Sync History Page]</source>
        <translation>[Sync History Page]</translation>
    </message>
    <message>
        <source>There is an error in your configuration, please review.</source>
        <translation>Ihre Konfiguration enthält einen Fehler, bitte prüfen Sie sie.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>${APP_NAME}</source>
        <translation>${APP_NAME}</translation>
    </message>
    <message>
        <source>[Login Page]</source>
        <translation>[Login Page]</translation>
    </message>
    <message>
        <source>[Main Page]</source>
        <translation>[Main Page]</translation>
    </message>
    <message>
        <source>[Wizard Page]</source>
        <translation>[Wizard Page]</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <comment>Quit</comment>
        <translation>Ctrl+Q</translation>
    </message>
</context>
<context>
    <name>ProxyAuthDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>[text]</source>
        <translation>[text]</translation>
    </message>
    <message>
        <source>Proxy Username:</source>
        <translation>Proxy-Benutzername:</translation>
    </message>
    <message>
        <source>Proxy Password:</source>
        <translation>Proxy-Passwort:</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Contacting server...</source>
        <translation>Verbindung zum Server...</translation>
    </message>
    <message>
        <source>Prepare to log in...</source>
        <translation>Anmeldung wird vorbereitet...</translation>
    </message>
    <message>
        <source>Logging in...</source>
        <translation>Anmeldung läuft...</translation>
    </message>
    <message>
        <source>Login successful</source>
        <translation>Anmeldung erfolgreich</translation>
    </message>
    <message>
        <source>Calculating keys...</source>
        <translation>Schlüssel werden berechnet...</translation>
    </message>
    <message>
        <source>Loading account data...</source>
        <translation>Kontodaten werden geladen...</translation>
    </message>
    <message>
        <source>Checking for notifications...</source>
        <translation>Benachrichtigungen werden geprüft...</translation>
    </message>
    <message>
        <source>Load passwords...</source>
        <translation>Passwörter werden geladen...</translation>
    </message>
    <message>
        <source>Performing authentication...</source>
        <translation>Authentifizierung läuft...</translation>
    </message>
    <message>
        <source>Performing 2-factor authentication...</source>
        <translation>2-Faktor-Authentifizierung läuft...</translation>
    </message>
    <message>
        <source>Performing mobile TAN authentication...</source>
        <translation>mTAN-Authentifizierung läuft...</translation>
    </message>
    <message>
        <source>Performing initial DeviceKey authentication...</source>
        <translation>Erste DeviceKey-Authentifizierung läuft...</translation>
    </message>
    <message>
        <source>Performing DeviceKey authentication...</source>
        <translation>DeviceKey-Authentifizierung läuft...</translation>
    </message>
    <message>
        <source>Initializing mobile device...</source>
        <translation>Mobilgerät wird eingerichtet...</translation>
    </message>
    <message>
        <source>Sign up...</source>
        <translation>Registrierung...</translation>
    </message>
    <message>
        <source>Establishing secure connection...</source>
        <translation>Sichere Verbindung wird aufgebaut...</translation>
    </message>
    <message>
        <source>Signed up for new account</source>
        <translation>Neues Konto registriert</translation>
    </message>
    <message>
        <source>2-factor authentication is off...</source>
        <translation>2-Faktor-Authentifizierung ist ausgeschaltet...</translation>
    </message>
    <message>
        <source>Logout...</source>
        <translation>Abmeldung...</translation>
    </message>
    <message>
        <source>Logged out</source>
        <translation>Abgemeldet</translation>
    </message>
    <message>
        <source>Login failed (K)</source>
        <translation>Anmeldung fehlgeschlagen (K)</translation>
    </message>
    <message>
        <source>Login failed (M1)</source>
        <translation>Anmeldung fehlgeschlagen (M1)</translation>
    </message>
    <message>
        <source>Login failed (PUB_A)</source>
        <translation>Anmeldung fehlgeschlagen (PUB_A)</translation>
    </message>
    <message>
        <source>Login failed (USERKEY)</source>
        <translation>Anmeldung fehlgeschlagen (USERKEY)</translation>
    </message>
    <message>
        <source>Login failed (XSRF)</source>
        <translation>Anmeldung fehlgeschlagen (XSRF)</translation>
    </message>
</context>
<context>
    <name>QuotaExceededDialog</name>
    <message>
        <source>${APP_NAME} Quota Exceeded</source>
        <translation>${APP_NAME}-Speicherplatz erschöpft</translation>
    </message>
    <message>
        <source>TextLabel</source>
        <translation>TextLabel</translation>
    </message>
    <message>
        <source>Upgrade...</source>
        <translation>Upgrade...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>${APP_BASE_URL}/en/faq/acct-mgmt/upgrade/</source>
        <translation>${APP_BASE_URL}/de/faq/acct-mgmt/upgrade/</translation>
    </message>
</context>
<context>
    <name>SessionTerminatedDialog</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>[empty]</source>
        <translation>[empty]</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>StatusAction</name>
    <message>
        <source>Syncing</source>
        <translation>Synchronisiere</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1 %</translation>
    </message>
</context>
<context>
    <name>StatusBarView</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>${APP_NAME} ${APP_VERSION} ${APP_DEVSTAGE}</source>
        <translation>${APP_NAME} ${APP_VERSION} ${APP_DEVSTAGE}</translation>
    </message>
    <message>
        <source>(2/5)</source>
        <translation>(2/5)</translation>
    </message>
    <message>
        <source>(3/5)</source>
        <translation>(3/5)</translation>
    </message>
    <message>
        <source>(4/5)</source>
        <translation>(4/5)</translation>
    </message>
    <message>
        <source>(5/5)</source>
        <translation>(5/5)</translation>
    </message>
    <message>
        <source>(5/5; %1%)</source>
        <translation>(5/5; %1 %)</translation>
    </message>
    <message>
        <source>Sync successful</source>
        <translation>Synchronisation erfolgreich</translation>
    </message>
    <message>
        <source>Sync canceled</source>
        <translation>Synchronisation abgebrochen</translation>
    </message>
    <message>
        <source>Sync failed</source>
        <translation>Synchronisation fehlgeschlagen</translation>
    </message>
    <message>
        <source> (%1 of %2 MB)</source>
        <translation> (%1 von %2 MB)</translation>
    </message>
    <message>
        <source> (%1 of %2 KB)</source>
        <translation> (%1 von %2 KB)</translation>
    </message>
    <message>
        <source>Syncing</source>
        <translation>Synchronisiere</translation>
    </message>
    <message>
        <source>Last sync: </source>
        <translation>Letzte Synchronisation: </translation>
    </message>
    <message>
        <source>Last synchronisation: </source>
        <translation>Letzte Synchronisation: </translation>
    </message>
</context>
<context>
    <name>UpgradeClientDialog</name>
    <message>
        <source>New ${APP_NAME} Version</source>
        <translation>Neue ${APP_NAME}-Version</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>Überspringen</translation>
    </message>
    <message>
        <source>${APP_BASE_URL}/en/sync</source>
        <translation>${APP_BASE_URL}/de/sync</translation>
    </message>
</context>
<context>
    <name>WizardView</name>
    <message>
        <source>Frame</source>
        <translation>Frame</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;span style=" font-size:18px; font-weight:600;"&gt;Setup finished&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Congratulations! You have successfully setup the ${APP_NAME} client. Click "Finish" to start using ${APP_NAME}.&lt;/p&gt;&lt;p align="center"&gt;&lt;img src=":/res/wizard/wiz_page5_client_apps.png"/&gt;&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;span style=" font-size:18px; font-weight:600;"&gt;Einrichtung abgeschlossen&lt;/span&gt;&lt;/p&gt;&lt;p&gt;Herzlichen Glückwunsch! Sie haben den ${APP_NAME}-Client erfolgreich eingerichtet. Klicken Sie auf "Fertig", um ${APP_NAME} zu verwenden.&lt;/p&gt;&lt;p align="center"&gt;&lt;img src=":/res/wizard/wiz_page5_client_apps.png"/&gt;&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Automatically start ${APP_NAME} at login</source>
        <translation>${APP_NAME} bei der Anmeldung automatisch starten</translation>
    </message>
    <message>
        <source>Finish</source>
        <translation>Fertig</translation>
    </message>
</context>
</TS>