<?php include "inc/header.inc"; ?>
<h2>News</h2>
<p>Opening hours changed.</p>
<iframe src="https://maps.example.org/embed?q=shop" width="400" height="300"></iframe>
<?php include "inc/footer.inc"; ?>
