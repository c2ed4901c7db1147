<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <source>${APP_NAME} runs already</source>
        <translation>${APP_NAME} läuft bereits</translation>
    </message>
    <message>
        <source>It seems that ${APP_NAME} runs already&lt;br/&gt;Activating ${APP_NAME} window ...</source>
        <translation>${APP_NAME} scheint bereits zu laufen&lt;br/&gt;Das Fenster von ${APP_NAME} wird aktiviert ...</translation>
    </message>
    <message>
        <source>Cannot activate ${APP_NAME}</source>
        <translation>${APP_NAME} kann nicht aktiviert werden</translation>
    </message>
</context>
</TS>
