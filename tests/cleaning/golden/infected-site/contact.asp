<%@ Language="VBScript" %>
<html>
<body>
<p>Write to us.</p>
</body>
</html>
