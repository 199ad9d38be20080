<%@ Language="VBScript" %><%
' Kelvra web time endpoint for IIS (classic ASP).
'
' Serves /other/gettime.asp as <date>YYYY-MM-DD</date><time>HH:MM:SS</time> from this
' server's local time. Response.Buffer makes IIS send the page with a Content-Length header,
' which the time-sync client requires.
'
' Install: enable the ASP role service of IIS, create the folder other under the site's root
' and copy this file into it.
Option Explicit
Response.Buffer = True
Response.Expires = -1
Response.CacheControl = "no-cache"
Response.AddHeader "Pragma", "no-cache"
Response.ContentType = "text/html"

Function TwoDigits(n)
    TwoDigits = Right("0" & CStr(n), 2)
End Function

Dim stamp
stamp = Now()
Response.Write "<date>" & Year(stamp) & "-" & TwoDigits(Month(stamp)) & "-" & TwoDigits(Day(stamp)) & "</date>" & _
               "<time>" & TwoDigits(Hour(stamp)) & ":" & TwoDigits(Minute(stamp)) & ":" & TwoDigits(Second(stamp)) & "</time>"
%>